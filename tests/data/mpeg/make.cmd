# Commands that made the files in this folder (ffmpeg 5.1, Debian 12), run here.
# Each ffmpeg line was run as "ffmpeg -nostdin -y ..."; the files are committed so no test needs the tools.
ffmpeg -bitexact -f lavfi -i testsrc=size=48x32:rate=25 -frames:v 6 -c:v mpeg1video -f mpeg1video mpeg1_25.m1v
ffmpeg -bitexact -f lavfi -i testsrc=size=48x32:rate=24000/1001 -frames:v 5 -c:v mpeg2video -f mpeg2video mpeg2_23976.m2v
ffmpeg -bitexact -f lavfi -i testsrc=size=48x32:rate=30000/1001 -f lavfi -i sine=frequency=440:sample_rate=32000:duration=0.3 -frames:v 7 -c:v mpeg1video -c:a mp2 -f mpeg mpeg1_system.mpg
ffmpeg -bitexact -f lavfi -i testsrc=size=48x32:rate=50 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.2 -frames:v 8 -c:v mpeg2video -c:a mp2 -f vob mpeg2_program.mpg
