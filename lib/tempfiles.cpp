#include "tempfiles.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace velk {

namespace {

static_assert(ATOMIC_INT_LOCK_FREE == 2, "the signal handler needs lock-free atomic integers");

// An entry's states: free; being filled or emptied by its owner; holding a temporary's name;
// taken by the handler, which is removing the file while the process ends.
enum : int { slotfree, slotbusy, slotheld, slotremoving };

struct slot {
  std::atomic<int> state{slotfree};
  char name[PATH_MAX];
};

slot registry[temporaryslots];

// Distinguishes the names that threads and successive calls draw.
std::atomic<unsigned long> draws{0};

const int removingsignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
const int nameattempts = 100;
// "." + "." + six random characters around the target's own name.
const size_t temporaryaffixes = 8;

// Removes every registered temporary, then ends the process by the signal's default action.
void removeandreraise(int sig) {
  for (slot& s : registry) {
    int held = slotheld;
    if (s.state.compare_exchange_strong(held, slotremoving)) unlink(s.name);
  }
  signal(sig, SIG_DFL);
  raise(sig);  // delivered by default action once the handler returns and unblocks it
}

sigset_t removingset() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : removingsignals) sigaddset(&set, sig);
  return set;
}

int enter(const std::string& name) {
  if (name.size() >= PATH_MAX) return -1;
  for (int k = 0; k < temporaryslots; ++k) {
    int expected = slotfree;
    if (!registry[k].state.compare_exchange_strong(expected, slotbusy)) continue;
    memcpy(registry[k].name, name.c_str(), name.size() + 1);
    registry[k].state.store(slotheld, std::memory_order_release);
    return k;
  }
  return -1;
}

// Six characters of [0-9A-Za-z] that differ between processes, threads and calls.
std::string randomsuffix(unsigned long* mix) {
  static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  *mix = *mix * 6364136223846793005ul + 1442695040888963407ul;
  unsigned long bits = *mix >> 16;
  std::string suffix(6, '0');
  for (char& c : suffix) {
    c = alphabet[bits % 62];
    bits /= 62;
  }
  return suffix;
}

// Creates stem + six random characters, registered, with the removing signals blocked.
int createregistered(const std::string& stem, mode_t mode, std::string* name, int* entry) {
  *entry = -1;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long mix = static_cast<unsigned long>(now.tv_nsec) ^ (static_cast<unsigned long>(getpid()) << 24) ^
                      (draws.fetch_add(1) << 44);
  const sigset_t blocked = removingset();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &blocked, &previous);
  int fd = -1;
  for (int attempt = 0; attempt < nameattempts; ++attempt) {
    *name = stem + randomsuffix(&mix);
    fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) break;
  }
  const int error = errno;
  if (fd >= 0) *entry = enter(*name);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return fd;
}

// The first `limit` bytes of a name, or fewer so that no UTF-8 character is cut.
std::string shortened(const std::string& name, size_t limit) {
  if (name.size() <= limit) return name;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80) --end;
  return name.substr(0, end);
}

}  // namespace

int removetemporariesonsignals() {
  struct sigaction handler;
  memset(&handler, 0, sizeof handler);
  handler.sa_handler = removeandreraise;
  handler.sa_mask = removingset();
  int result = 0;
  for (int sig : removingsignals) {
    struct sigaction current;
    if (sigaction(sig, nullptr, &current) != 0) result = -1;
    if (current.sa_handler != SIG_IGN && sigaction(sig, &handler, nullptr) != 0) result = -1;
  }
  if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR) result = -1;
  return result;
}

int createtemporarybeside(const std::string& target, mode_t mode, std::string* name, int* entry) {
  const size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string own = slash == std::string::npos ? target : target.substr(slash + 1);
  return createregistered(directory + "." + shortened(own, NAME_MAX - temporaryaffixes) + ".", mode, name,
                          entry);
}

int createtemporaryin(const std::string& directory, const std::string& prefix, std::string* name,
                      int* entry) {
  const std::string stem = directory.empty() || directory.back() == '/' ? directory : directory + "/";
  return createregistered(stem + prefix, 0600, name, entry);
}

void forgettemporary(int entry) {
  if (entry < 0 || entry >= temporaryslots) return;
  int held = slotheld;
  // A failed exchange means the handler has taken the entry: the process is ending.
  registry[entry].state.compare_exchange_strong(held, slotfree);
}

int removetemporary(const std::string& name, int entry) {
  const int removed = unlink(name.c_str());
  forgettemporary(entry);
  return removed;
}

}  // namespace velk
