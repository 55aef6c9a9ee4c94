#include "toolcli/CommandLine.h"

#include <charconv>
#include <cmath>
#include <iostream>

namespace toolcli {

bool ParseNumber(std::string_view text, long long low, long long high, long long& value)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no sign, blank or prefix of its own: what is left must be digits only.
    unsigned long long magnitude = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, magnitude, base);
    if (text.empty() || error != std::errc() || stop != end) return false;
    if (negative) {
        // The most a negative number may have: -low, worked out without overflow at LLONG_MIN.
        const unsigned long long most = low < 0 ? static_cast<unsigned long long>(-(low + 1)) + 1 : 0;
        if (magnitude > most) return false;
        value = magnitude == 0 ? 0 : -static_cast<long long>(magnitude - 1) - 1;
    } else {
        if (high < 0 || magnitude > static_cast<unsigned long long>(high)) return false;
        value = static_cast<long long>(magnitude);
    }
    return value >= low && value <= high;
}

bool ParseDecimal(std::string_view text, double low, double high, double& value)
{
    if (text.empty() || text.front() == '+') return false;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return error == std::errc() && stop == end && std::isfinite(value) && value >= low && value <= high;
}

CLI::Validator Number(long long low, long long high)
{
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            long long v = 0;
            if (!ParseNumber(text, low, high, v)) return text + " is not a whole number from " + range;
            text = std::to_string(v);
            return {};
        },
        range, "number");
}

namespace {

// The usage line first, so that the first words of --help say how the tool is called.
class UsageFirst : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override
    {
        if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
        return make_usage(app, name) + "\n" + make_description(app) + make_positionals(app) + make_groups(app, mode) +
               make_subcommands(app, mode) + "\n" + make_footer(app);
    }
};

void useFormatter(CLI::App& app, const std::shared_ptr<CLI::Formatter>& formatter)
{
    app.formatter(formatter);
    for (CLI::App* sub : app.get_subcommands({})) useFormatter(*sub, formatter);
}

}  // namespace

std::optional<int> Parse(CLI::App& app, int argc, char** argv)
{
    useFormatter(app, std::make_shared<UsageFirst>());
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& e) {
        // Words that are no option or argument are named first (in the order given, where CLI11's
        // own message turns them round), also where a missing argument was found before them
        // ("regtool set --bogus").
        const std::vector<std::string> unexpected = app.remaining(/*recurse=*/true);
        std::string what = e.what();
        if (!unexpected.empty()) {
            what = unexpected.size() > 1 ? "The following arguments were not expected:" : "The following argument was not expected:";
            for (const std::string& word : unexpected) what += " " + word;
        }
        std::cerr << app.get_name() << ": " << what << "\n" << "Run " << app.get_name() << " --help for the usage.\n";
        return kUsageError;
    }
    return std::nullopt;
}

void Refuse(const std::string& why)
{
    throw CLI::ValidationError(why);
}

}  // namespace toolcli
