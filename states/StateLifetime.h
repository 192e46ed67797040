#pragma once

#include <memory>

// Held by a state whose posted functions may arrive after it was replaced:
// they keep a watch, and do nothing once it has expired.
class StateLifetime {
public:
    std::weak_ptr<const void> watch() const { return token; }

private:
    std::shared_ptr<const char> token = std::make_shared<const char>('\0');
};
