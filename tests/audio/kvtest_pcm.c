/*
 * kvtest_pcm.c - the test sound card: an ALSA I/O plugin (pcm type "kvtest")
 * whose hardware pointer advances with CLOCK_MONOTONIC at the stream's rate,
 * so that playback and recording through PortAudio take real time on machines
 * without a sound card. Playback frames are appended to the file named by
 * "file" as the clock consumes them, so frames dropped by a stop never reach
 * it; capture frames are read from "file", silence after its end; "stream"
 * (playback or capture) limits a device to one direction. A starved
 * playback device idles instead of running past the application, and a full
 * capture device waits to be read, so the file holds exactly the stream.
 */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    snd_pcm_ioplug_t io;
    char *path;
    int file;  /* opened at the first frame; -1 before (or with no path) */
    int timer; /* 1 ms periodic timerfd: the poll descriptor */
    unsigned char *fifo;
    uint64_t fifoFrames;
    unsigned frameBytes;
    uint64_t appl;        /* frames handed over (playback) or taken (capture) */
    uint64_t hw;          /* frames played (playback) or captured (capture) */
    uint64_t clockFrames; /* frames the clock had allowed at the last update */
    struct timespec start;
    int running;
    int inputEnded;
    pthread_mutex_t lock;
} kvtest_t;

static uint64_t kvtest_clock_frames(const kvtest_t *k) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t seconds = now.tv_sec - k->start.tv_sec;
    int64_t nanoseconds = now.tv_nsec - k->start.tv_nsec;
    if (nanoseconds < 0) {
        seconds--;
        nanoseconds += 1000000000;
    }
    return (uint64_t)seconds * k->io.rate + (uint64_t)nanoseconds * k->io.rate / 1000000000u;
}

static void kvtest_open_file(kvtest_t *k) {
    if (k->file >= 0 || !k->path || !k->path[0]) return;
    if (k->io.stream == SND_PCM_STREAM_PLAYBACK)
        k->file = open(k->path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    else
        k->file = open(k->path, O_RDONLY | O_CLOEXEC);
}

static void kvtest_write_all(int file, const unsigned char *bytes, size_t size) {
    while (size > 0) {
        ssize_t done = write(file, bytes, size);
        if (done <= 0) return;
        bytes += done;
        size -= (size_t)done;
    }
}

/* Moves n frames between the fifo at frame `at` and the file. */
static void kvtest_file_io(kvtest_t *k, uint64_t at, uint64_t n) {
    while (n > 0) {
        uint64_t slot = at % k->fifoFrames;
        uint64_t piece = k->fifoFrames - slot < n ? k->fifoFrames - slot : n;
        unsigned char *bytes = k->fifo + slot * k->frameBytes;
        size_t size = (size_t)(piece * k->frameBytes);
        kvtest_open_file(k);
        if (k->io.stream == SND_PCM_STREAM_PLAYBACK) {
            if (k->file >= 0) kvtest_write_all(k->file, bytes, size);
        } else {
            size_t got = 0;
            while (!k->inputEnded && k->file >= 0 && got < size) {
                ssize_t r = read(k->file, bytes + got, size - got);
                if (r <= 0)
                    k->inputEnded = 1;
                else
                    got += (size_t)r;
            }
            memset(bytes + got, 0, size - got);
        }
        at += piece;
        n -= piece;
    }
}

/* Lets the clock run up to now. At most fifoFrames - 1 frames move per call,
 * so that ALSA, which sees the pointer modulo the buffer size, never mistakes
 * a whole buffer for none. */
static void kvtest_advance(kvtest_t *k) {
    if (!k->running) return;
    uint64_t allowed = kvtest_clock_frames(k);
    uint64_t n = allowed - k->clockFrames;
    k->clockFrames = allowed;
    uint64_t room = k->io.stream == SND_PCM_STREAM_PLAYBACK ? k->appl - k->hw
                                                            : k->fifoFrames - (k->hw - k->appl);
    if (n > room) n = room;
    if (n > k->fifoFrames - 1) n = k->fifoFrames - 1;
    kvtest_file_io(k, k->hw, n);
    k->hw += n;
}

static int kvtest_start(snd_pcm_ioplug_t *io) {
    kvtest_t *k = io->private_data;
    pthread_mutex_lock(&k->lock);
    clock_gettime(CLOCK_MONOTONIC, &k->start);
    k->clockFrames = 0;
    k->running = 1;
    pthread_mutex_unlock(&k->lock);
    return 0;
}

static int kvtest_stop(snd_pcm_ioplug_t *io) {
    kvtest_t *k = io->private_data;
    pthread_mutex_lock(&k->lock);
    kvtest_advance(k);
    k->running = 0;
    pthread_mutex_unlock(&k->lock);
    return 0;
}

static snd_pcm_sframes_t kvtest_pointer(snd_pcm_ioplug_t *io) {
    kvtest_t *k = io->private_data;
    pthread_mutex_lock(&k->lock);
    kvtest_advance(k);
    snd_pcm_sframes_t position = (snd_pcm_sframes_t)(k->hw % io->buffer_size);
    pthread_mutex_unlock(&k->lock);
    return position;
}

static snd_pcm_sframes_t kvtest_transfer(snd_pcm_ioplug_t *io, const snd_pcm_channel_area_t *areas,
                                         snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    kvtest_t *k = io->private_data;
    unsigned char *user =
        (unsigned char *)areas[0].addr + (areas[0].first + offset * areas[0].step) / 8;
    pthread_mutex_lock(&k->lock);
    for (snd_pcm_uframes_t done = 0; done < size;) {
        uint64_t slot = k->appl % k->fifoFrames;
        uint64_t piece = k->fifoFrames - slot < size - done ? k->fifoFrames - slot : size - done;
        unsigned char *fifo = k->fifo + slot * k->frameBytes;
        size_t bytes = (size_t)(piece * k->frameBytes);
        if (io->stream == SND_PCM_STREAM_PLAYBACK)
            memcpy(fifo, user + done * k->frameBytes, bytes);
        else
            memcpy(user + done * k->frameBytes, fifo, bytes);
        k->appl += piece;
        done += piece;
    }
    pthread_mutex_unlock(&k->lock);
    return (snd_pcm_sframes_t)size;
}

static int kvtest_prepare(snd_pcm_ioplug_t *io) {
    kvtest_t *k = io->private_data;
    pthread_mutex_lock(&k->lock);
    k->appl = k->hw = k->clockFrames = 0;
    k->running = 0;
    pthread_mutex_unlock(&k->lock);
    return 0;
}

static int kvtest_hw_params(snd_pcm_ioplug_t *io, snd_pcm_hw_params_t *params) {
    (void)params;
    kvtest_t *k = io->private_data;
    free(k->fifo);
    k->frameBytes = io->channels * 2;
    k->fifoFrames = io->buffer_size;
    k->fifo = calloc(k->fifoFrames, k->frameBytes);
    return k->fifo ? 0 : -ENOMEM;
}

static int kvtest_poll_revents(snd_pcm_ioplug_t *io, struct pollfd *pfd, unsigned int nfds,
                               unsigned short *revents) {
    (void)pfd;
    (void)nfds;
    kvtest_t *k = io->private_data;
    uint64_t ticks;
    while (read(k->timer, &ticks, sizeof ticks) > 0) {
    }
    pthread_mutex_lock(&k->lock);
    kvtest_advance(k);
    uint64_t avail = io->stream == SND_PCM_STREAM_PLAYBACK ? io->buffer_size - (k->appl - k->hw)
                                                           : k->hw - k->appl;
    pthread_mutex_unlock(&k->lock);
    *revents = 0;
    if (avail >= io->period_size)
        *revents = io->stream == SND_PCM_STREAM_PLAYBACK ? POLLOUT : POLLIN;
    return 0;
}

static int kvtest_close(snd_pcm_ioplug_t *io) {
    kvtest_t *k = io->private_data;
    if (k->file >= 0) close(k->file);
    close(k->timer);
    pthread_mutex_destroy(&k->lock);
    free(k->fifo);
    free(k->path);
    free(k);
    return 0;
}

static const snd_pcm_ioplug_callback_t kvtest_callbacks = {
    .start = kvtest_start,
    .stop = kvtest_stop,
    .pointer = kvtest_pointer,
    .transfer = kvtest_transfer,
    .close = kvtest_close,
    .hw_params = kvtest_hw_params,
    .prepare = kvtest_prepare,
    .poll_revents = kvtest_poll_revents,
};

static int kvtest_constrain(snd_pcm_ioplug_t *io) {
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int format[] = {SND_PCM_FORMAT_S16_LE};
    int err;
    if ((err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, format)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 4000, 192000)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20)) <
            0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 256, 4 << 20)) <
            0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0)
        return err;
    return 0;
}

SND_PCM_PLUGIN_DEFINE_FUNC(kvtest) {
    (void)root;
    const char *path = NULL;
    const char *direction = NULL;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t *entry = snd_config_iterator_entry(i);
        const char *id;
        if (snd_config_get_id(entry, &id) < 0) continue;
        if (!strcmp(id, "comment") || !strcmp(id, "type") || !strcmp(id, "hint")) continue;
        if (!strcmp(id, "file") && snd_config_get_string(entry, &path) >= 0) continue;
        if (!strcmp(id, "stream") && snd_config_get_string(entry, &direction) >= 0) continue;
        SNDERR("kvtest: unknown or bad field %s", id);
        return -EINVAL;
    }
    /* A device of one direction, as a sound card's output or input is. */
    if (direction && strcmp(direction, stream == SND_PCM_STREAM_PLAYBACK ? "playback" : "capture"))
        return -ENODEV;
    kvtest_t *k = calloc(1, sizeof *k);
    if (!k) return -ENOMEM;
    k->file = -1;
    k->path = path ? strdup(path) : NULL;
    pthread_mutex_init(&k->lock, NULL);
    k->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    struct itimerspec tick = {{0, 1000000}, {0, 1000000}};
    timerfd_settime(k->timer, 0, &tick, NULL);
    k->io.version = SND_PCM_IOPLUG_VERSION;
    k->io.name = "Korvel test device";
    k->io.callback = &kvtest_callbacks;
    k->io.private_data = k;
    k->io.poll_fd = k->timer;
    k->io.poll_events = POLLIN;
    int err = snd_pcm_ioplug_create(&k->io, name, stream, mode);
    if (err < 0) {
        close(k->timer);
        pthread_mutex_destroy(&k->lock);
        free(k->path);
        free(k);
        return err;
    }
    if ((err = kvtest_constrain(&k->io)) < 0) {
        snd_pcm_ioplug_delete(&k->io);
        return err;
    }
    *pcmp = k->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(kvtest);
