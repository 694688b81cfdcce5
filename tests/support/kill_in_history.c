/* Loaded into the tool (LD_PRELOAD) to end it with SIGKILL at a chosen point of
 * the rewrite of its run history: LORBANIX_KILL_AT=write kills it half-way
 * through a write to the history or its temporary file, LORBANIX_KILL_AT=rename just before the
 * temporary file takes the history's name. Every other call goes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int EndsWith(const char* text, const char* suffix) {
    const size_t length = strlen(text);
    const size_t suffixLength = strlen(suffix);
    return length >= suffixLength && strcmp(text + length - suffixLength, suffix) == 0;
}

/* The next definition of name, as a function pointer: dlsym gives an object
 * pointer, which ISO C does not convert to a function pointer directly. */
static void Next(const char* name, void* function, size_t size) {
    void* symbol = dlsym(RTLD_NEXT, name);
    memcpy(function, &symbol, size);
}

static int KillAt(const char* point) {
    const char* at = getenv("LORBANIX_KILL_AT");
    return at != NULL && strcmp(at, point) == 0;
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (real == NULL) {
        Next("rename", &real, sizeof real);
    }
    if (KillAt("rename") && EndsWith(to, "-history.log")) {
        raise(SIGKILL);
    }
    return real(from, to);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (real == NULL) {
        Next("write", &real, sizeof real);
    }
    if (KillAt("write") && count > 1) {
        char link[64];
        char target[4096];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t length = readlink(link, target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            /* The history itself too: a rewrite in place would be cut there. */
            if (EndsWith(target, "-history.log.tmp") || EndsWith(target, "-history.log")) {
                real(fd, buffer, count / 2);
                raise(SIGKILL);
            }
        }
    }
    return real(fd, buffer, count);
}
