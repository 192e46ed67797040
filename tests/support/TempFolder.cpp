#include "tests/support/TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "kovra-test-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data()))
        root = made;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    if (!root.empty())
        fs::remove_all(root, ignored);
}

std::string TempFolder::writeFile(const std::string& relative, const std::string& content) const
{
    const fs::path file = fs::path(root) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
}

std::string TempFolder::writeScript(const std::string& relative, const std::string& body) const
{
    const std::string file = writeFile(relative, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return file;
}
