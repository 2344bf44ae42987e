/* libtiff's messages go to the program's call-backs. libtiff itself goes on
 * after a message and fails through its return codes, so the call-backs must
 * return; the program reports what they recorded once libtiff is done. */

#include <stdarg.h>
#include <stdio.h>

#include "pixcodec.h"

static PixMessageFn errorCallback;
static PixMessageFn warningCallback;

static void Forward(PixMessageFn callback, const char* module, const char* format, va_list args)
{
    char text[1024];
    int used = 0;
    if (callback == NULL) return;
    if (module != NULL && module[0] != 0) used = snprintf(text, sizeof text, "%s: ", module);
    if (used < 0 || (size_t)used >= sizeof text) used = 0;
    vsnprintf(text + used, sizeof text - (size_t)used, format, args);
    callback(text);
}

static void TiffError(const char* module, const char* format, va_list args)
{
    Forward(errorCallback, module, format, args);
}

static void TiffWarning(const char* module, const char* format, va_list args)
{
    Forward(warningCallback, module, format, args);
}

void ExternErrorSet(PixMessageFn callback)
{
    errorCallback = callback;
    TIFFSetErrorHandler(TiffError);
}

void ExternWarningSet(PixMessageFn callback)
{
    warningCallback = callback;
    TIFFSetWarningHandler(TiffWarning);
}

int _TIFFGetField(TIFF* tif, uint32_t tag, ...)
{
    va_list args;
    int result;
    if (tif == NULL) return 0;
    va_start(args, tag);
    result = TIFFVGetField(tif, tag, args);
    va_end(args);
    return result;
}
