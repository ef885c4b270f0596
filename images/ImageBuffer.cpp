#include "ImageBuffer.h"

uint8_t g_imageBuffer[kImageBufferSize];
