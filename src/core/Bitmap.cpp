#include "core/Bitmap.h"
