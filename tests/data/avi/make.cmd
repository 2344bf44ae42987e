# Commands that made the files in this folder (ffmpeg 5.1, Debian 12), run here.
# Each ffmpeg line was run as "ffmpeg -nostdin -y ..."; the files are committed so no test needs the tools.
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=30000/1001 -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.1 -frames:v 4 -c:v cinepak -c:a pcm_s16le -ac 2 -shortest cvid_pcm.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=25 -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.1 -frames:v 3 -c:v msvideo1 -vtag CRAM -c:a adpcm_ima_wav cram_ima.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=16x8:rate=15 -frames:v 2 -c:v rawvideo -pix_fmt bgr24 raw24.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=16x8:rate=15 -frames:v 2 -c:v rawvideo -pix_fmt rgb555le raw16.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=16x8:rate=15 -frames:v 2 -c:v rawvideo -pix_fmt bgra raw32.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=25 -f lavfi -i sine=frequency=440:sample_rate=32000:duration=0.2 -frames:v 3 -c:v mpeg4 -vtag XVID -c:a mp2 xvid_mp2.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=24 -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.2 -frames:v 3 -c:v msmpeg4 -c:a libmp3lame -b:a 32k mp43_mp3.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=10 -frames:v 2 -c:v mjpeg mjpg.avi
ffmpeg -bitexact -f lavfi -i testsrc=size=32x24:rate=12 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.2 -frames:v 2 -c:v mjpeg -c:a ac3 -shortest mjpg_ac3.avi
