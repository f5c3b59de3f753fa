#pragma once

#include "core/net/ThumbnailFeed.h"

#include <memory>

// The thumbnail threads of the chooser and the mosaic share one length of a second.

// A new thumbnail thread whose second lasts the length set with SetThumbnailTickMilliseconds.
std::shared_ptr<TMireThread> NewThumbnailThread();
// The length of a second for the thumbnail threads made from now on (tests shorten it).
void SetThumbnailTickMilliseconds(int ms);
