#include "registry.h"

#include <cstdint>

namespace quarvet::about {

void registryValueText(unsigned long type, std::string_view data, std::string& value)
{
    if (type == registryText) {
        if (!data.empty() && data.back() == '\0')
            data.remove_suffix(1);
        value = std::string(data);
    } else if (type == registryNumber) {
        std::uint32_t number = 0;
        for (std::size_t byte = 0; byte < 4 && byte < data.size(); ++byte)
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[byte]))
                      << (8 * byte);
        value = std::to_string(number);
    }
}

} // namespace quarvet::about
