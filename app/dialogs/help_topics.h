/*
 * help_topics.h - the topic numbers the program passes to the help pages.
 *
 * Each number names one page, help/topic-N.html. 1 is the getting-started
 * page the Help menu opens; 24, 25 and 26 are the contexts the engine
 * attaches to its codec, temporary-file and sound-device errors. Dialog topics start at 100 so
 * they never collide with engine contexts.
 */
#ifndef KV_APP_HELP_TOPICS_H
#define KV_APP_HELP_TOPICS_H

#include <cstdint>

enum KvHelpTopic : int32_t {
    kvHelpGettingStarted = 1,
    kvHelpNoCodec = 24,
    kvHelpCantCreateFile = 25,
    kvHelpNoSoundDevice = 26,
    kvHelpVolume = 101,
    kvHelpNormalize = 102,
    kvHelpFadeEdges = 103,
    kvHelpPasteMix = 104,
    kvHelpSilence = 105,
    kvHelpSampleRate = 106,
    kvHelpEqualizer = 107,
    kvHelpFftFilter = 108,
    kvHelpSimpleEcho = 109,
    kvHelpEcho = 110,
    kvHelpReverb = 111,
    kvHelpCompressor = 112,
    kvHelpDistortion = 113,
    kvHelpToneGenerator = 114,
    kvHelpPitch = 115,
    kvHelpOptions = 116,
    kvHelpNewFile = 117,
    kvHelpRecord = 118,
    kvHelpUndoHistory = 119,
    kvHelpFileInfo = 120,
    kvHelpLoudness = 130,
    kvHelpNoiseReduction = 131,
};

#endif
