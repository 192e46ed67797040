#pragma once

#include <string>

// The demo's settings, read from the environment.
namespace DemoSettings {

// The variable's text, or `fallback` when it is unset.
std::string text(const char* name, const std::string& fallback = {});
// The variable as a whole decimal number, or `fallback` when it is unset or
// not one.
int number(const char* name, int fallback);

} // namespace DemoSettings
