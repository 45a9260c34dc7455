// Image list files: a count, a directory, then that many image names, all separated by white
// space. The directory and the names are kept as written, in either path form.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The longest directory and name that fit the view's fixed buffers with their terminators.
constexpr std::size_t kImageListMaxDirectory = 119;
constexpr std::size_t kImageListMaxName = 99;

struct CImageList {
    int count = 0; // 1 to 999, the size of names
    std::string directory;
    std::vector<std::string> names;
};

// Reads a list file from its current position; anything after the last name is left unread.
// The count is read like scanf's "%3d", so at most three characters, sign included, belong to
// it ("1000" is the count 100 followed by a field "0"). On failure returns nothing and sets
// problem to a phrase that completes "列表文件 <path> ...", such as "的图像数小于 1".
std::optional<CImageList> ReadImageList(std::FILE* file, std::string& problem);
