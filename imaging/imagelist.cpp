#include "imagelist.h"

namespace {

constexpr int kCountWidth = 3;

// The white space of scanf in the C locale, both line ends included.
bool IsWhiteSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

// The first character after any white space, or EOF.
int SkipWhiteSpace(std::FILE* file) {
    int c = std::getc(file);
    while (IsWhiteSpace(c))
        c = std::getc(file);
    return c;
}

// Like scanf's "%3d": the character that ends the number early is put back for the next
// field, and once three characters are taken nothing more is read.
std::optional<int> ReadCount(std::FILE* file) {
    int c = SkipWhiteSpace(file);
    int widthLeft = kCountWidth - 1;
    const auto next = [&] { return widthLeft-- > 0 ? std::getc(file) : EOF; };
    const bool negative = c == '-';
    if (c == '+' || c == '-')
        c = next();
    int value = 0;
    bool anyDigit = false;
    for (; IsDigit(c); c = next()) {
        value = value * 10 + (c - '0');
        anyDigit = true;
    }
    std::ungetc(c, file);
    if (!anyDigit)
        return std::nullopt;
    return negative ? -value : value;
}

enum class FieldFault { kNone, kMissing, kTooLong, kZeroByte };

// Like scanf's "%s", but stops taking characters one past maxLength. A zero byte would cut
// the field short once it is copied into a C string, so it is refused instead.
FieldFault ReadField(std::FILE* file, std::size_t maxLength, std::string& field) {
    field.clear();
    for (int c = SkipWhiteSpace(file); c != EOF && !IsWhiteSpace(c); c = std::getc(file)) {
        if (c == '\0')
            return FieldFault::kZeroByte;
        if (field.size() == maxLength)
            return FieldFault::kTooLong;
        field.push_back(static_cast<char>(c));
    }
    return field.empty() ? FieldFault::kMissing : FieldFault::kNone;
}

std::string LongerThan(const char* what, std::size_t maxLength) {
    return std::string(what) + "超过 " + std::to_string(maxLength) + " 个字节";
}

// The phrase for a fault of the directory (isName false) or of a name.
std::string FieldProblem(FieldFault fault, bool isName) {
    switch (fault) {
    case FieldFault::kMissing:
        return isName ? "列出的图像少于它的图像数" : "没有文件夹";
    case FieldFault::kTooLong:
        return isName ? LongerThan("中有名称", kImageListMaxName)
                      : LongerThan("的文件夹", kImageListMaxDirectory);
    case FieldFault::kZeroByte:
        return "含有零字节";
    case FieldFault::kNone:
        break;
    }
    return {};
}

std::optional<CImageList> ParseImageList(std::FILE* file, std::string& problem) {
    const std::optional<int> count = ReadCount(file);
    if (!count) {
        problem = "不是以图像数开头";
        return std::nullopt;
    }
    if (*count < 1) {
        problem = "的图像数小于 1";
        return std::nullopt;
    }
    CImageList list;
    list.count = *count;
    if (const FieldFault fault = ReadField(file, kImageListMaxDirectory, list.directory);
        fault != FieldFault::kNone) {
        problem = FieldProblem(fault, false);
        return std::nullopt;
    }
    list.names.resize(static_cast<std::size_t>(list.count));
    for (std::string& name : list.names) {
        if (const FieldFault fault = ReadField(file, kImageListMaxName, name);
            fault != FieldFault::kNone) {
            problem = FieldProblem(fault, true);
            return std::nullopt;
        }
    }
    return list;
}

} // namespace

std::optional<CImageList> ReadImageList(std::FILE* file, std::string& problem) {
    std::optional<CImageList> list = ParseImageList(file, problem);
    // A read error looks like an early end of the file; it must not pass for a short list, nor
    // a cut-off last name for a whole one.
    if (std::ferror(file)) {
        problem = "无法读取";
        return std::nullopt;
    }
    return list;
}
