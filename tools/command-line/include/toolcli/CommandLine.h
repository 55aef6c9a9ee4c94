// How the tools read their command lines. Options are declared on a CLI::App; Parse turns what
// went wrong into the exit codes all tools share: 0 after --help (the usage on standard output),
// 2 after a wrong option or value (a message naming it on standard error). A failure of the
// tool's work itself is exit code 1, with a message naming the file, key or address.
//
// CLI11 (header-only, a Debian package) declares each option once with its type and check, and
// gives the help text, subcommands (regtool), positionals and messages that name the option;
// only its number conversion (strtoll with base 0, where "010" is eight) is replaced here by
// Number, so that a number is decimal or 0x hex and nothing else.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace toolcli {

/// Exit code of a wrong command line.
inline constexpr int kUsageError = 2;
/// Exit code of a job that failed.
inline constexpr int kFailure = 1;

/// Reads a whole number written in decimal (an optional minus, then digits) or in hexadecimal
/// after "0x"; false when the text is anything else or the number lies outside [low, high].
bool ParseNumber(std::string_view text, long long low, long long high, long long& value);

/// The same for a number with a fraction (decimal, C locale), finite and within [low, high].
bool ParseDecimal(std::string_view text, double low, double high, double& value);

/// A transform for an option's value: a whole number from low to high (decimal or 0x hex),
/// rewritten in plain decimal for CLI11's conversion; anything else is refused with a message.
CLI::Validator Number(long long low, long long high);

/// Parses the command line. Nothing when the tool goes on; otherwise the exit code to return
/// at once (the usage or the message has been printed).
std::optional<int> Parse(CLI::App& app, int argc, char** argv);

/// Refuses an option's value from inside its each() callback: Parse reports it as a wrong
/// value, with the option's name put before the reason.
[[noreturn]] void Refuse(const std::string& why);

}  // namespace toolcli
