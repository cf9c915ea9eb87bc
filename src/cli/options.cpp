#include "options.h"

#include "calc/utf8text.h"

namespace quarvet::cli {
namespace {

const OptionShape* shapeOf(const std::vector<OptionShape>& shapes, const std::string& word)
{
    for (const OptionShape& shape : shapes)
        if (word == shape.name)
            return &shape;
    return nullptr;
}

bool takesAsValue(const std::vector<OptionShape>& shapes, const OptionShape& shape,
                  const std::string& word)
{
    switch (shape.take) {
    case ValueWords::NoDoubleDash:
        return !word.starts_with("--");
    case ValueWords::AnyWord:
        return true;
    default:
        return !shapeOf(shapes, word);
    }
}

std::string missingValues(const OptionShape& shape, const std::vector<std::string>& given)
{
    std::string said = std::string(shape.name) + " takes " +
                       (shape.takes         ? std::string(shape.takes)
                        : shape.values == 1 ? std::string("a value")
                                            : std::to_string(shape.values) + " values");
    if (shape.take != ValueWords::AnyWord)
        return said;
    std::string words;
    for (const std::string& word : given)
        words += (words.empty() ? "" : " ") + word;
    return said + ", not '" + calc::printable(words) + "'";
}

} // namespace

namespace {

ReadWords readAll(const std::vector<std::string>& words, const std::vector<OptionShape>& shapes,
                  EntryWords entries)
{
    ReadWords read;
    for (std::size_t n = 0; n < words.size(); ++n) {
        const OptionShape* shape = shapeOf(shapes, words[n]);
        if (!shape && !words[n].starts_with("--") && entries != EntryWords::None) {
            if (entries == EntryWords::Anywhere) {
                read.entries.push_back(words[n]);
                continue;
            }
            read.entries.assign(words.begin() + static_cast<std::ptrdiff_t>(n), words.end());
            return read;
        }
        if (!shape) {
            read.fault = words[n].starts_with("--")
                             ? "unknown option '" + calc::printable(words[n]) + "'"
                             : "unexpected word '" + calc::printable(words[n]) + "'";
            return read;
        }
        if (read.options.count(shape->name) && !shape->repeats) {
            read.fault = std::string(shape->name) + " is given twice";
            return read;
        }
        std::vector<std::string> taken;
        while (static_cast<int>(taken.size()) < shape->values && n + 1 < words.size() &&
               takesAsValue(shapes, *shape, words[n + 1]))
            taken.push_back(words[++n]);
        if (static_cast<int>(taken.size()) != shape->values) {
            read.fault = missingValues(*shape, taken);
            return read;
        }
        // Kept only once whole: a failed read leaves no option without its values behind.
        std::vector<std::string>& values = read.options[shape->name];
        values.insert(values.end(), taken.begin(), taken.end());
    }
    return read;
}

} // namespace

ReadWords readWords(const std::vector<std::string>& words, const std::vector<OptionShape>& shapes,
                    EntryWords entries)
{
    ReadWords read = readAll(words, shapes, entries);
    // Words that did not read give nothing to act on, not the part before the fault.
    if (!read.ok())
        read = ReadWords{{}, {}, read.fault};
    return read;
}

std::optional<Options> readOptions(const std::vector<std::string>& words,
                                   const std::vector<OptionShape>& shapes, std::string& fault,
                                   std::vector<std::string>* rest)
{
    ReadWords read = readWords(words, shapes, rest ? EntryWords::AtEnd : EntryWords::None);
    if (!read.ok()) {
        fault = read.fault;
        return std::nullopt;
    }
    if (rest)
        *rest = std::move(read.entries);
    return std::move(read.options);
}

std::optional<std::string> valueOf(const Options& options, const std::string& name)
{
    const auto found = options.find(name);
    if (found == options.end() || found->second.empty())
        return std::nullopt;
    return found->second.front();
}

std::optional<std::string> formatOf(const Options& options)
{
    const std::string format = valueOf(options, "--format").value_or("text");
    if (format != "text" && format != "csv" && format != "json")
        return std::nullopt;
    return format;
}

} // namespace quarvet::cli
