// What every command's rendering shares: UTF-8 for the terminal, escaped where site text could steer it, and the one
// step that prints a result, checks that it arrived and gives the exit code.
#pragma once

#include "app/commands/commands.h"
#include "platform/console.h"
#include "platform/json.h"

#include <cstdio>
#include <string>

namespace commands {

std::string utf8(const Text& text);
/// An article's text as a terminal shows it: UTF-8 with CR LF as LF, ending in a line break.
std::string displayText(const Text& text);
/// A text for a terminal, standard output or error alike: C0 controls and DEL escaped as \xNN, C1 controls and the
/// bidirectional overrides and isolates as \uNNNN, so that site text cannot forge a line, send the terminal an escape
/// sequence or reorder what a line shows. Line breaks and TABs stay where `keepLayout` (an article's own lines).
std::string printable(const std::string& text, bool keepLayout);
void printLine(const platform::Json& json, std::FILE* out);
/// An entry's link as the address it was downloaded from, made safe for the terminal.
std::string shownAddress(const SiteAccessor& site, const Text& href);
const char* sourceWord(ListingSource source);

/// What a failed command says with --json, beside its result or alone: "error", what the exit code means, and
/// "exit", the code.
platform::Json withFailure(platform::Json result, int code);

/// Prints `result` as text or, with --json, as the JSON object `json` makes of it (with "error" and "exit" when `code`
/// is not 0); then the exit code `code`, or the output error when the output did not arrive (a closed pipe, a full
/// disk).
template <typename Result>
int finish(const Invocation& run, const Result& result, int code,
           void (*text)(const Result&, std::FILE*, std::FILE*), platform::Json (*json)(const Result&, std::FILE*))
{
    if (code == ExitInterrupted)
        code = platform::interruptedExitCode();
    if (run.line.json)
        printLine(code == ExitOk ? json(result, run.err) : withFailure(json(result, run.err), code), run.out);
    else
        text(result, run.out, run.err);
    run.printed = true;
    if (std::fflush(run.out) != 0 || std::ferror(run.out)) {
        std::fprintf(run.err, "varnholt: the output could not be written\n");
        return ExitOutput;
    }
    return code;
}

} // namespace commands
