#include "recordwords.h"

#include "calc/check.h"
#include "calc/utf8text.h"
#include "messages/messages.h"

namespace quarvet::cli {

std::string said(const QString& text)
{
    return text.toStdString();
}

int refusal(const QString& why, Output& io)
{
    io.sayError("quarvet-cli: " + calc::printable(said(why)) + "\n");
    return failure;
}

std::optional<Options> readOptions(const std::vector<std::string>& words,
                                   const std::vector<OptionShape>& shapes, std::string& fault,
                                   std::vector<std::string>* rest)
{
    const auto shapeOf = [&](const std::string& word) -> const OptionShape* {
        for (const OptionShape& shape : shapes)
            if (word == shape.name)
                return &shape;
        return nullptr;
    };
    Options options;
    for (std::size_t n = 0; n < words.size(); ++n) {
        const OptionShape* shape = shapeOf(words[n]);
        if (!shape && rest && !words[n].starts_with("--")) {
            rest->assign(words.begin() + static_cast<std::ptrdiff_t>(n), words.end());
            return options;
        }
        if (!shape) {
            fault = words[n].starts_with("--")
                        ? "unknown option '" + calc::printable(words[n]) + "'"
                        : "unexpected word '" + calc::printable(words[n]) + "'";
            return std::nullopt;
        }
        if (options.count(shape->name) && !shape->repeats) {
            fault = std::string(shape->name) + " is given twice";
            return std::nullopt;
        }
        std::vector<std::string>& values = options[shape->name];
        int taken = 0;
        for (; taken < shape->values && n + 1 < words.size() && !shapeOf(words[n + 1]); ++taken)
            values.push_back(words[++n]);
        if (taken != shape->values) {
            fault = std::string(shape->name) + " takes " +
                    (shape->values == 1 ? "a value" : std::to_string(shape->values) + " values");
            return std::nullopt;
        }
    }
    return options;
}

QString text(const std::string& word)
{
    return QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
}

bool validUtf8(const std::string& word)
{
    return text(word).toStdString() == word;
}

bool numberOf(const std::string& label, const std::string& word, const calc::Separators& separators,
              double& value, Output& io)
{
    const calc::EntryReading reading = calc::readEntry(word, separators);
    if (!reading.isNumber()) {
        io.sayError("quarvet-cli: " + label + " '" + calc::printable(word) + "' is not a number\n");
        return false;
    }
    // A record keeps its numbers for good: one read another way than typed is refused, where
    // a calculation only warns.
    if (const auto pair = calc::probeSeparators(separators);
        pair && calc::holds(word, pair->foreign)) {
        io.sayError("quarvet-cli: " + messages::foreignSeparatorInRecord(label, word, *pair) +
                    "\n");
        return false;
    }
    value = reading.value;
    return true;
}

} // namespace quarvet::cli
