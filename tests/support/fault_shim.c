/* A fault injector preloaded (LD_PRELOAD) into a program under test. It counts the
 * calls that change files -- creating or opening a file for writing, write, fsync,
 * rename, unlink, mkdir, symlink -- and makes the k-th one fail:
 *
 *   VELMORA_FAULT=enospc|eio|kill   what happens at the k-th call: it fails with
 *                                   ENOSPC (the disk is full from then on: every
 *                                   later write fails too) or EIO (this call only),
 *                                   or the process is killed before it
 *   VELMORA_FAULT_AT=k              which call (1 = the first)
 *   VELMORA_FAULT_REPORT=FILE       where the number of calls seen is written at
 *                                   exit, with "hit" when the fault happened
 *   VELMORA_FAULT_WHEN_ARMED=1      count only the calls after the program called
 *                                   velmora_fault_arm() (it finds it with dlsym), so
 *                                   that the writes it makes to get ready stay
 *                                   untouched; without it counting starts at once
 *
 * Writes to the terminal, pipes and /dev/null are not counted: only changes to
 * files on disk. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { kNone, kNoSpace, kIoError, kKill };

static int mode = kNone;
static long faultAt = 0;
static long calls = 0;
static int hit = 0;
static int armed = 1;

__attribute__((constructor)) static void Setup(void) {
  const char* what = getenv("VELMORA_FAULT");
  const char* at = getenv("VELMORA_FAULT_AT");
  if (!what || !at) return;
  if (strcmp(what, "enospc") == 0) mode = kNoSpace;
  if (strcmp(what, "eio") == 0) mode = kIoError;
  if (strcmp(what, "kill") == 0) mode = kKill;
  faultAt = atol(at);
  const char* whenArmed = getenv("VELMORA_FAULT_WHEN_ARMED");
  if (whenArmed && strcmp(whenArmed, "1") == 0) armed = 0;
}

/* Starts the count (see VELMORA_FAULT_WHEN_ARMED); calling it again changes nothing. */
__attribute__((visibility("default"))) void velmora_fault_arm(void) { armed = 1; }

__attribute__((destructor)) static void Report(void) {
  const char* path = getenv("VELMORA_FAULT_REPORT");
  if (!path) return;
  FILE* out = fopen(path, "w");
  if (!out) return;
  fprintf(out, "%ld%s\n", calls, hit ? " hit" : "");
  fclose(out);
}

/* Counts one change; true when it must fail (errno set). A full disk keeps
 * refusing what needs space; removing and renaming still work on it. */
static int Fault(int needsSpace) {
  if (mode == kNone || !armed) return 0;
  ++calls;
  if (calls == faultAt) {
    hit = 1;
    if (mode == kKill) {
      Report();
      raise(SIGKILL);
    }
    errno = mode == kNoSpace ? ENOSPC : EIO;
    return 1;
  }
  if (mode == kNoSpace && needsSpace && calls > faultAt && faultAt > 0) {
    errno = ENOSPC;
    return 1;
  }
  return 0;
}

static int IsDiskFile(int fd) {
  struct stat st;
  return fd > 2 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

static int Writing(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

static int OpenWith(int (*real)(const char*, int, ...), const char* path, int flags, mode_t perms) {
  /* Locks and /dev and /proc files are not the program's data. */
  if (Writing(flags) && strncmp(path, "/dev/", 5) != 0 && strncmp(path, "/proc/", 6) != 0 && Fault(1)) {
    return -1;
  }
  return real(path, flags, perms);
}

int open(const char* path, int flags, ...) {
  mode_t perms = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    perms = va_arg(args, mode_t);
    va_end(args);
  }
  return OpenWith(NEXT(open), path, flags, perms);
}

int open64(const char* path, int flags, ...) {
  mode_t perms = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    perms = va_arg(args, mode_t);
    va_end(args);
  }
  return OpenWith(NEXT(open64), path, flags, perms);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (IsDiskFile(fd) && Fault(1)) return -1;
  return NEXT(write)(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  if (IsDiskFile(fd) && Fault(1)) return -1;
  return NEXT(pwrite)(fd, data, size, offset);
}

int fsync(int fd) {
  if (IsDiskFile(fd) && Fault(1)) return -1;
  return NEXT(fsync)(fd);
}

int rename(const char* from, const char* to) {
  if (Fault(0)) return -1;
  return NEXT(rename)(from, to);
}

int unlink(const char* path) {
  if (Fault(0)) return -1;
  return NEXT(unlink)(path);
}

int mkdir(const char* path, mode_t perms) {
  if (Fault(1)) return -1;
  return NEXT(mkdir)(path, perms);
}

int symlink(const char* target, const char* path) {
  if (Fault(1)) return -1;
  return NEXT(symlink)(target, path);
}
