/* Preloaded into a program under measurement: on its first
 * SDL_UpdateWindowSurface, appends the wall clock (ns) and the peak resident
 * size (KiB) to the file named by FIRST_PRESENT_FILE, then presents. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef int (*UpdateFn)(void*);

int SDL_UpdateWindowSurface(void* window) {
    static UpdateFn next;
    static int done;
    if (!next) next = (UpdateFn)dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    int rc = next ? next(window) : -1;
    if (!done) {
        done = 1;
        struct timespec t;
        clock_gettime(CLOCK_REALTIME, &t);
        long hwm = 0;
        FILE* status = fopen("/proc/self/status", "r");
        if (status) {
            char line[256];
            while (fgets(line, sizeof line, status))
                if (strncmp(line, "VmHWM:", 6) == 0) hwm = strtol(line + 6, NULL, 10);
            fclose(status);
        }
        const char* path = getenv("FIRST_PRESENT_FILE");
        FILE* out = path ? fopen(path, "a") : NULL;
        if (out) {
            fprintf(out, "%lld %ld\n", (long long)t.tv_sec * 1000000000LL + t.tv_nsec, hwm);
            fclose(out);
        }
    }
    return rc;
}
