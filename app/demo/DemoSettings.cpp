#include "app/demo/DemoSettings.h"

#include <cstdlib>

namespace DemoSettings {

std::string text(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : fallback;
}

int number(const char* name, int fallback)
{
    const std::string value = text(name);
    if (value.empty())
        return fallback;
    char* end = nullptr;
    const long parsed = std::strtol(value.c_str(), &end, 10);
    return end != nullptr && *end == '\0' ? static_cast<int>(parsed) : fallback;
}

} // namespace DemoSettings
