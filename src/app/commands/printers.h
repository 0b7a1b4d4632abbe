// The two renderings of a command's result: text for people, JSON for programs. Problems go to `err` in both.
#pragma once

#include "app/commands/commands.h"

#include <cstdio>

namespace commands {

void printText(const CountsResult& result, std::FILE* out, std::FILE* err);
void printText(const PageResult& result, std::FILE* out, std::FILE* err);
void printText(const ShowResult& result, std::FILE* out, std::FILE* err);
void printText(const ArchiveResult& result, std::FILE* out, std::FILE* err);

void printText(const SearchResult& result, std::FILE* out, std::FILE* err);
void printJson(const SearchResult& result, std::FILE* out, std::FILE* err);

void printText(const ExportResult& result, std::FILE* out, std::FILE* err);
void printJson(const ExportResult& result, std::FILE* out, std::FILE* err);

void printJson(const CountsResult& result, std::FILE* out, std::FILE* err);
void printJson(const PageResult& result, std::FILE* out, std::FILE* err);
void printJson(const ShowResult& result, std::FILE* out, std::FILE* err);
void printJson(const ArchiveResult& result, std::FILE* out, std::FILE* err);

} // namespace commands
