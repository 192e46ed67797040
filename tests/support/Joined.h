#pragma once

#include <initializer_list>
#include <vector>

// The parts one after another, for expectations built from pieces.
template <typename T>
std::vector<T> joined(std::initializer_list<std::vector<T>> parts)
{
    std::vector<T> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
