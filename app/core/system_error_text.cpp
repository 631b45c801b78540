#include "app/core/system_error_text.h"

#include <cerrno>
#include <cstring>

#include "app/catalog/catalog.h"
#include "util/regular_file.h"

const char* SystemErrorText(int code) {
  switch (code) {
    case kErrorNotRegularFile:
      return tr("not a regular file: a folder, a pipe or a device stands in its place");
    case kErrorSymbolicLink: return tr("a symbolic link stands in its place");
    case EROFS: return tr("the file system is read-only");
    case EACCES: return tr("permission denied");
    case EPERM: return tr("the operation is not permitted");
    case ENOSPC: return tr("the disk is full");
#ifdef EDQUOT
    case EDQUOT: return tr("the user's disk quota is used up");
#endif
    case EFBIG: return tr("the file has grown too large");
    case ENOENT: return tr("no such file or folder");
    case EEXIST: return tr("the file already exists");
    case EISDIR: return tr("a folder stands in its place");
    case ENOTDIR: return tr("a part of the path is not a folder");
    case ELOOP: return tr("too many symbolic links in the path");
    case ENAMETOOLONG: return tr("the name is too long");
    case EINVAL: return tr("the system does not accept the name or the request");
    case EIO: return tr("input/output error: the disk or the device failed");
    case EBUSY: return tr("the file or device is busy");
    case EMFILE:
    case ENFILE: return tr("too many open files");
    case ENXIO:
    case ENODEV: return tr("no such device");
    case ENOMEM: return tr("not enough memory");
    default: return std::strerror(code);
  }
}
