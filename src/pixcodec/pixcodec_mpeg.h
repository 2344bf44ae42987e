#pragma once
/* MPEG video summary of the external codec library: the first sequence
 * header's size and frame-rate code, whether the stream is MPEG-2 video,
 * and the number of pictures, for video elementary streams and for MPEG-1
 * and MPEG-2 program streams. File names are host paths. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Called with a message when reading the file fails. It may leave by an
 * exception of the program: the library calls it last, after releasing
 * everything, and gives 0 when it returns. */
typedef void (*PixMpegErrorFn)(const char* message);

void ErrorFuncSet(PixMpegErrorFn callback);

/* Non-zero on success: a sequence header was found. 0 for a file that
 * cannot be opened or holds no sequence header (all outputs then 0). */
int32_t InfoMPEG(const char* name, int32_t* frames, int32_t* width, int32_t* height, int32_t* rateCode, int32_t* mpeg2);

#ifdef __cplusplus
}
#endif
