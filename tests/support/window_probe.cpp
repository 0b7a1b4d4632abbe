// Reading the Qt widgets behind the window, and driving them as the toolkit does for a user.
#include "support/window_probe.h"

#include <cstdlib>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWheelEvent>
#include <QWidget>

namespace testing_support {
namespace {

QWidget* widgetOfRole(platform::Window& window, platform::Control role)
{
    for (QWidget* child : window.widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant value = child->property("role");
        if (value.isValid() && value.toInt() == static_cast<int>(role))
            return child;
    }
    return nullptr;
}

} // namespace

ControlView view(platform::Window& window, const std::string& name)
{
    window.applyPendingChanges();
    ControlView view;
    QWidget* widget = window.widget()->findChild<QWidget*>(QString::fromStdString(name));
    if (!widget)
        return view;
    view.found = true;
    view.left = widget->x();
    view.top = widget->y();
    view.width = widget->width();
    view.height = widget->height();
    view.enabled = widget->isEnabled();
    view.fontFamily = widget->font().families().value(0).toStdString();
    view.fontPixelSize = widget->font().pixelSize();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        view.kind = platform::ControlKind::Label;
        view.caption = label->text().toStdString();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        view.kind = platform::ControlKind::DropDownList;
        for (int i = 0; i < combo->count(); ++i)
            view.items.push_back(combo->itemText(i).toStdString());
        view.selection = combo->currentIndex();
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        view.kind = platform::ControlKind::CheckListBox;
        for (int i = 0; i < list->count(); ++i) {
            view.items.push_back(list->item(i)->text().toStdString());
            view.itemCheckable.push_back(list->item(i)->data(Qt::CheckStateRole).isValid());
            view.itemChecked.push_back(list->item(i)->checkState() == Qt::Checked);
            view.itemUserCheckable.push_back((list->item(i)->flags() & Qt::ItemIsUserCheckable) != 0);
        }
        view.selection = list->currentRow();
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        view.kind = platform::ControlKind::TextBox;
        view.readOnly = box->isReadOnly();
        view.text = box->toPlainText().toStdString();
    }
    return view;
}

void userSelects(platform::Window& window, platform::Control list, int index)
{
    window.applyPendingChanges();
    QWidget* target = widgetOfRole(window, list);
    if (!target || !target->isEnabled())
        return;
    if (auto* combo = qobject_cast<QComboBox*>(target)) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    } else if (auto* listWidget = qobject_cast<QListWidget*>(target)) {
        if (listWidget->currentRow() == index)
            emit listWidget->itemClicked(listWidget->item(index));
        else
            listWidget->setCurrentRow(index);
    }
}

void userWheels(platform::Window& window, const std::string& name, int notches, bool withControl)
{
    window.applyPendingChanges();
    auto* target = window.widget()->findChild<QWidget*>(QString::fromStdString(name));
    if (auto* box = qobject_cast<QPlainTextEdit*>(target))
        target = box->viewport();
    if (!target)
        return;
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    for (int i = 0; i < std::abs(notches); ++i) {
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, notches > 0 ? 120 : -120), Qt::NoButton,
                          withControl ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &wheel);
    }
}

void userTriggers(platform::Window& window, const std::string& text)
{
    window.applyPendingChanges();
    for (QAction* action : window.widget()->actions())
        if (action->text().toStdString() == text)
            action->trigger();
}

void userEnters(platform::Window& window, const std::string& name, const std::string& text)
{
    if (auto* field = window.widget()->findChild<QLineEdit*>(QString::fromStdString(name))) {
        field->setText(QString::fromStdString(text));
        emit field->returnPressed();
    }
}

void userActivates(platform::Window& window, const std::string& name, int row)
{
    auto* list = window.widget()->findChild<QListWidget*>(QString::fromStdString(name));
    if (list && row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
        emit list->itemActivated(list->item(row));
    }
}

bool dialogOpen(platform::Window& window, const std::string& name)
{
    const auto* dialog = window.widget()->findChild<QDialog*>(QString::fromStdString(name));
    return dialog && dialog->isVisible();
}

bool isResizable(platform::Window& window)
{
    return window.widget()->minimumSize() != window.widget()->maximumSize();
}

} // namespace testing_support
