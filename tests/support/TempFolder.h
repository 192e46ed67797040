#pragma once

#include <string>

// A fresh folder under the build's temporary area, removed with everything
// in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return root; }
    // Writes an executable shell script at `relative` (folders made as needed).
    std::string writeScript(const std::string& relative, const std::string& body) const;
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string root;
};
