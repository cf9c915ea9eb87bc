#pragma once

#include "calc/entry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Turns a fuzzer's bytes into what the program's functions take.
namespace quarvet::fuzz {

// The separators users' locales give, and none.
inline const char* const separatorChoices[] = {".",        ",", "\xE2\x80\x99", "\xE2\x80\xAF",
                                               "\xD9\xAB", ""};
inline constexpr std::size_t separatorChoiceCount = 6;

// The first byte picks the decimal and the group separator; the rest is the text.
inline calc::Separators takeSeparators(std::string_view& data)
{
    if (data.empty())
        return {".", ","};
    const auto pick = static_cast<unsigned char>(data.front());
    data.remove_prefix(1);
    return {separatorChoices[pick % separatorChoiceCount],
            separatorChoices[(pick / separatorChoiceCount) % separatorChoiceCount]};
}

// Pieces of the text between newline bytes, at most `count` of them (the last takes the rest).
inline std::vector<std::string> splitPieces(std::string_view data, std::size_t count)
{
    std::vector<std::string> pieces;
    while (pieces.size() + 1 < count) {
        const std::size_t end = data.find('\n');
        if (end == std::string_view::npos)
            break;
        pieces.emplace_back(data.substr(0, end));
        data.remove_prefix(end + 1);
    }
    pieces.emplace_back(data);
    while (pieces.size() < count)
        pieces.emplace_back();
    return pieces;
}

} // namespace quarvet::fuzz
