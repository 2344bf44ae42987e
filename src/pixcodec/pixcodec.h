#pragma once
/* The external codec library. JPEG files are read and written here over
 * libjpeg-turbo; PNG and TIFF go through libpng and libtiff themselves
 * (<png.h>, <tiffio.h>), with the TIFF messages routed to the program's
 * call-backs. Texts are zero-terminated 8-bit strings; file names are host
 * paths. */

#include <stddef.h>
#include <stdint.h>

#include <png.h>
#include <tiffio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A message hook of the program. It must return: the library goes on or
 * fails through its own result codes after calling it. */
typedef void (*PixMessageFn)(const char* message);

/* Width, height and components (1 grey, 3 colour) of a JPEG file; 0 on
 * success. CMYK files count as colour: they are read as blue-green-red. */
int info_JPEG_file(const char* name, int32_t* width, int32_t* height, int32_t* components);

/* Decodes a JPEG file into buffer, rows from the top, pixels blue-green-red
 * (or one grey byte). Fails without writing past bufferSize when the picture
 * does not fit it. 0 on success. */
int read_JPEG_file(const char* name, uint8_t* buffer, size_t bufferSize, int32_t* width, int32_t* height,
                   int32_t* components);

/* Writes a baseline JPEG of a 24-bit blue-green-red picture, rows from the
 * top, at the given quality (1..100). The file is created here and removed
 * again when writing fails. 0 on success. */
int write_JPEG_file(const char* name, const uint8_t* buffer, int32_t width, int32_t height, int32_t quality);

/* The text of the last JPEG failure of this library ("" after a success). */
const char* pixcodec_JPEG_message(void);

/* The first sign of missing or broken data that the last read_JPEG_file
 * worked around ("Premature end of JPEG file"), "" for a whole file. */
const char* pixcodec_JPEG_damage(void);

/* Call-backs for libtiff's errors and warnings (null: silent). */
void ExternErrorSet(PixMessageFn callback);
void ExternWarningSet(PixMessageFn callback);

/* TIFFGetField under the name the program imports. */
int _TIFFGetField(TIFF* tif, uint32_t tag, ...);

#ifdef __cplusplus
}
#endif
