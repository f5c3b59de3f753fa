#include "core/image/Bitmap.h"
