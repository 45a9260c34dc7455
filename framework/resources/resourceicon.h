// Icons from the program's resources: an icon group (RT_GROUP_ICON) and its images (RT_ICON,
// device-independent bitmaps with an AND mask). Private to the class layer.
#pragma once

#include "afxtypes.h"

#include <QIcon>
#include <QImage>

#include <span>

class CResourceFile;

// One icon image, or a null image when the bytes are not a whole uncompressed 1-, 4- or
// 8-bit icon bitmap.
QImage AfxDecodeIconImage(std::span<const BYTE> data);

// Every image of the group, taken from resources; a null icon when the group, or any image
// it names, is missing or malformed.
QIcon AfxIconFromGroup(std::span<const BYTE> group, const CResourceFile& resources);

// Icon group id of the program's resources.
QIcon AfxLoadIcon(WORD id);
