# Commands that made the files in this folder (ffmpeg 5.1 and SoX 14.4, Debian 12), run here.
# Each ffmpeg line was run as "ffmpeg -nostdin -y ..."; the files are committed so no test needs the tools.
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.02 -ac 2 -c:a pcm_s16le pcm16_stereo.wav
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.1 -c:a adpcm_ima_wav ima_adpcm.wav
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.2 -c:a pcm_alaw alaw.wav
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=11025:duration=0.1 -c:a adpcm_ms ms_adpcm.wav
ffmpeg -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.1 -c:a pcm_u8 -metadata title=Tone u8_list.wav
sox -n -r 8000 -c 1 -b 8 -e mu-law sox_ulaw.wav synth 0.1 sine 440
sox -n -r 16000 -c 1 -e ima-adpcm sox_ima.wav synth 0.1 sine 440
sox -n -r 8000 -c 1 -e gsm-full-rate sox_gsm.wav synth 0.1 sine 440
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.2 -c:a libmp3lame -b:a 32k mp3.wav
ffmpeg -bitexact -f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.1 -c:a adpcm_g726 -b:a 32k g726.wav
