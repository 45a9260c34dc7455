#include "systemerror.h"

#include <cerrno>

std::string AfxSystemErrorPhrase(int errorNumber) {
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return "没有权限";
    case ENOENT:
        return "文件或文件夹不存在";
    case ENOTDIR:
        return "路径中有一项不是文件夹";
    case EISDIR:
        return "那里是一个文件夹";
    case ENOSPC:
    case EDQUOT:
        return "磁盘已满";
    case EROFS:
        return "文件系统是只读的";
    case EFBIG:
        return "文件太大";
    case ENAMETOOLONG:
        return "路径太长";
    case ELOOP:
        return "符号链接太多层";
    case EIO:
        return "读写出错";
    case ENOMEM:
        return "内存不足";
    case EMFILE:
    case ENFILE:
        return "打开的文件太多";
    case ENXIO:
    case ENODEV:
        return "不是普通文件";
    default:
        return "系统错误（错误号 " + std::to_string(errorNumber) + "）";
    }
}
