#include "clipboard/limit_options.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quirlomat {

namespace {

// Spelled through decltype: clang-format 14 and 19 disagree on how to space a member pointer's
// declarator, and the tree must satisfy both.
using LimitField = decltype(&ClipboardLimits::pastes);

struct Limit {
    std::string_view name;  // the option without its dashes, and the settings file's key
    std::uint32_t most;
    LimitField field;
};

constexpr Limit kLimits[] = {
    {"pastes", kMostPastes, &ClipboardLimits::pastes},
    {"clear-after", kMostClearAfterSeconds, &ClipboardLimits::clearAfterSeconds},
};

const Limit* FindLimit(std::string_view name) {
    for (const Limit& limit : kLimits) {
        if (limit.name == name) {
            return &limit;
        }
    }
    return nullptr;
}

// A whole number from 1 to most, in decimal, a sign allowed; anything else is nothing.
// Numbers too long to convert are out of range as surely as any other beyond most.
enum class Verdict : std::uint8_t { kGood, kNotANumber, kOutOfRange };

Verdict ReadValue(std::string_view text, std::uint32_t most, std::uint32_t* value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return Verdict::kNotANumber;
    }
    std::uint64_t number = 0;
    for (const char digit : text) {
        number = std::min<std::uint64_t>(number * 10 + static_cast<unsigned>(digit - '0'),
                                         std::uint64_t{most} + 1);
    }
    if (negative || number < 1 || number > most) {
        return Verdict::kOutOfRange;
    }
    *value = static_cast<std::uint32_t>(number);
    return Verdict::kGood;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string Expected(const Limit& limit) {
    return "erwartet wird eine ganze Zahl von 1 bis " + std::to_string(limit.most);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool given[std::size(kLimits)] = {};
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--help") {
            line.help = true;
            continue;
        }
        if (argument == "--version") {
            line.version = true;
            continue;
        }
        if (argument.substr(0, 2) != "--" || argument.size() == 2) {
            line.error = "Unbekanntes Argument " + Quoted(argument) + ".";
            break;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(
            2, equals == std::string_view::npos ? std::string_view::npos : equals - 2);
        const Limit* limit = FindLimit(name);
        if (limit == nullptr) {
            line.error = "Unbekannte Option " + Quoted(argument.substr(0, equals)) + ".";
            break;
        }
        const std::string option = "--" + std::string(limit->name);
        bool& seen = given[limit - kLimits];
        if (seen) {
            line.error = "Die Option " + option + " ist mehrfach angegeben.";
            break;
        }
        seen = true;
        std::optional<std::string_view> value;
        if (equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (!value) {
            line.error = "Die Option " + option + " braucht einen Wert; " + Expected(*limit) + ".";
            break;
        }
        switch (ReadValue(*value, limit->most, &(line.limits.*limit->field))) {
            case Verdict::kGood:
                break;
            case Verdict::kNotANumber:
            case Verdict::kOutOfRange:
                line.error = "Ungültiger Wert " + Quoted(*value) + " für die Option " + option +
                             "; " + Expected(*limit) + ".";
                break;
        }
    }
    return line;
}

SettingsLimits LimitsFromSettings(const std::string& path, const SettingsEntries& entries) {
    SettingsLimits result;
    const std::string where = " in der Einstellungsdatei " + Quoted(path);
    for (const auto& [key, value] : entries) {
        const Limit* limit = FindLimit(key);
        if (limit == nullptr) {
            result.error = "Unbekannter Schlüssel " + Quoted(key) + where + ".";
            return result;
        }
        if (ReadValue(value, limit->most, &(result.limits.*limit->field)) != Verdict::kGood) {
            result.error = "Ungültiger Wert " + Quoted(value) + " für den Schlüssel " +
                           std::string(limit->name) + where + "; " + Expected(*limit) + ".";
            return result;
        }
    }
    return result;
}

ClipboardLimits MergeLimits(const ClipboardLimits& commandLine, const ClipboardLimits& file) {
    ClipboardLimits merged = file;
    for (const Limit& limit : kLimits) {
        if (commandLine.*limit.field != 0) {
            merged.*limit.field = commandLine.*limit.field;
        }
    }
    return merged;
}

std::string UsageText(const std::string& settingsPath) {
    return "Aufruf: quirlomat [OPTION]...\n"
           "Erzeugt ein Passwort und legt es in die Zwischenablage.\n"
           "\n"
           "  --pastes N              das Passwort dient N Einfügungen (1 bis 1000), dann ist\n"
           "                          es fort\n"
           "  --clear-after SEKUNDEN  das Passwort ist so viele Sekunden (1 bis 86400) nach\n"
           "                          \"Erstellen\" fort\n"
           "  --help                  diese Hilfe zeigen und beenden\n"
           "  --version               die Version zeigen und beenden\n"
           "\n"
           "Ohne Grenze bleibt das Passwort, bis ein anderes Programm etwas kopiert. Eine\n"
           "Einfügung sind alle Anfragen, die binnen einer Sekunde nach der ersten kommen.\n"
           "Beide Grenzen gesetzt: es gilt, was zuerst erreicht ist.\n"
           "\n"
           "Einstellungsdatei: " +
           settingsPath +
           "\n"
           "  [General]\n"
           "  pastes=2\n"
           "  clear-after=30\n"
           "Die Befehlszeile hat Vorrang vor der Datei.\n"
           "\n"
           "Exit-Status: 0 in Ordnung, 1 keine Anzeige, 2 falscher Aufruf oder fehlerhafte\n"
           "Einstellungsdatei.\n";
}

}  // namespace quirlomat
