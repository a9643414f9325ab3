#include "integrity/file_digests.h"

#include <openssl/evp.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>

#include "common/heapstr.h"
#include "integrity/digest_io.h"
#include "integrity/md5.h"

namespace upd {

namespace {

// One read, and the size from which MD5 gets a thread of its own: a smaller
// file is hashed before a thread would have started. Every block costs the MD5
// thread a wake-up of the reader, which waits for a free slot most of the time:
// blocks of 256 KiB, four times the wake-ups, measured 2 % slower over a
// 256 MiB file.
constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
// Blocks in flight between the reader and the MD5 thread, so that neither
// waits for the other at every block.
constexpr std::size_t kSlots = 4;
constexpr std::size_t kSha256Bytes = 32;

// MD5 on a thread of its own, over blocks that the reading thread fills in
// turn in kSlots slots of kBlockBytes and hands over in file order. MD5 takes
// this thread because it is the slower engine (about twice SHA-256's time with
// SHA extensions): the reader's share, the reads and SHA-256, is then the
// smaller one, and the file takes about as long as MD5 alone.
//
// The mutex and condition variable cannot fail as they are used here (their
// errors are for a lock held twice or a thread joined by itself), so the only
// call that may throw is the start of the thread, which is caught.
class Md5Thread {
 public:
  Md5Thread(md5_state_s* state, unsigned char* slots) : state_(state), slots_(slots) {}
  ~Md5Thread() { Finish(); }
  Md5Thread(const Md5Thread&) = delete;
  Md5Thread& operator=(const Md5Thread&) = delete;

  /// Starts the thread; false, with none started, when the system gives none.
  [[nodiscard]] bool Start() noexcept {
    try {
      thread_ = std::thread(&Md5Thread::Run, this);
    } catch (const std::exception&) {  // std::system_error, std::bad_alloc
      return false;
    }
    return true;
  }

  /// The slot to fill next, once the thread is done with what it held before.
  [[nodiscard]] unsigned char* NextSlot() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return handed_ - hashed_ < kSlots; });
    return Slot(handed_);
  }

  /// Hands over the slot that NextSlot returned, filled with `bytes` bytes.
  void Hand(std::size_t bytes) {
    {
      const std::lock_guard lock(mutex_);
      sizes_[handed_ % kSlots] = bytes;
      ++handed_;
    }
    changed_.notify_all();
  }

  /// Returns once every block handed over is in the state and the thread has
  /// ended; does nothing when no thread runs.
  void Finish() noexcept {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      ended_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  [[nodiscard]] unsigned char* Slot(std::size_t block) const {
    return slots_ + (block % kSlots) * kBlockBytes;
  }

  void Run() {
    for (std::size_t next = 0;; ++next) {
      std::size_t bytes = 0;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return handed_ > next || ended_; });
        if (handed_ == next) return;
        bytes = sizes_[next % kSlots];
      }
      md5_append(state_, Slot(next), static_cast<int>(bytes));
      {
        const std::lock_guard lock(mutex_);
        hashed_ = next + 1;
      }
      changed_.notify_all();
    }
  }

  md5_state_s* state_;
  unsigned char* slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: blocks handed over and hashed so far, the sizes of
  // those in the slots, and whether the reader is done.
  std::size_t handed_ = 0;
  std::size_t hashed_ = 0;
  std::array<std::size_t, kSlots> sizes_{};
  bool ended_ = false;
  std::thread thread_;  // last: ends before the members it uses go
};

}  // namespace

int HashFile(const char* path, char* md5Out, char* sha256Out) {
  if (md5Out == nullptr && sha256Out == nullptr) return 0;
  digest_io::InputFile file(path);
  if (!file.is_open()) return 0;

  md5_state_s md5;
  md5_init(&md5);
  digest_io::MdCtxPtr sha256;
  if (sha256Out != nullptr) {
    sha256.reset(EVP_MD_CTX_new());
    if (!sha256 || EVP_DigestInit_ex(sha256.get(), EVP_sha256(), nullptr) != 1) return 0;
  }
  const bool both = md5Out != nullptr && sha256Out != nullptr;
  const MallocPtr<unsigned char> memory(
      static_cast<unsigned char*>(std::malloc(both ? kSlots * kBlockBytes : kBlockBytes)));
  if (!memory) return 0;

  // Declared after the memory it reads, so that it ends before that goes, on
  // every return.
  Md5Thread md5Thread(&md5, memory.get());
  bool threaded = false;
  bool tryThread = both;
  for (;;) {
    unsigned char* block = threaded ? md5Thread.NextSlot() : memory.get();
    // Reads of a whole stream buffer or more go straight into `block`.
    const std::size_t got = std::fread(block, 1, kBlockBytes, file.get());
    // A file that fills the first read repays a thread. The block is then in
    // the memory's first slot, the one the thread takes first.
    if (tryThread && got == kBlockBytes) {
      tryThread = false;
      threaded = md5Thread.Start();
    }
    if (threaded) {
      md5Thread.Hand(got);
    } else if (md5Out != nullptr) {
      md5_append(&md5, block, static_cast<int>(got));
    }
    if (sha256 && got != 0 && EVP_DigestUpdate(sha256.get(), block, got) != 1) return 0;
    if (got == kBlockBytes) continue;
    // A short read ends the file or reports an error; the digest of the part
    // read so far must not pass for the digest of the file.
    if (std::ferror(file.get()) != 0) return 0;
    if (std::feof(file.get()) != 0) break;
  }
  md5Thread.Finish();
  if (!file.Close()) return 0;

  std::array<unsigned char, kSha256Bytes> sha256Digest;
  unsigned int length = 0;
  if (sha256 && (EVP_DigestFinal_ex(sha256.get(), sha256Digest.data(), &length) != 1 ||
                 length != sha256Digest.size())) {
    return 0;
  }
  if (md5Out != nullptr) {
    std::array<unsigned char, kMd5DigestBytes> md5Digest;
    md5_finish(&md5, md5Digest.data());
    digest_io::WriteLowerHex(md5Digest.data(), md5Digest.size(), md5Out);
  }
  if (sha256Out != nullptr) {
    digest_io::WriteLowerHex(sha256Digest.data(), sha256Digest.size(), sha256Out);
  }
  return 1;
}

}  // namespace upd
