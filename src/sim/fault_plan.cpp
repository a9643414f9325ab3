#include "sim/fault_plan.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace upd::sim {

namespace {

constexpr const char kPlanFile[] = "/sim/faults";

struct CallName {
  const char* name;
  FaultCall call;
};

constexpr std::array<CallName, 9> kCalls = {{
    {"create", FaultCall::kCreate},
    {"read", FaultCall::kRead},
    {"write", FaultCall::kWrite},
    {"unlink", FaultCall::kUnlink},
    {"rename", FaultCall::kRename},
    {"link", FaultCall::kLink},
    {"mkdir", FaultCall::kMkdir},
    {"chmod", FaultCall::kChmod},
    {"umount", FaultCall::kUmount},
}};

// errno values have names up to about 133 on Linux; 0 when `name` is none.
int ErrnoValue(std::string_view name) {
  for (int value = 1; value < 256; ++value) {
    const char* known = ::strerrorname_np(value);
    if (known != nullptr && name == known) return value;
  }
  return 0;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

// Parses one line into `plan`; "" or what is wrong with it.
std::string ParseLine(const std::string& line, FaultPlan& plan) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  if (words.empty() || words[0].front() == '#') return {};
  if (words[0] == "cut") {
    if (words.size() != 2 || !ParseNumber(words[1], plan.cutBefore) || plan.cutBefore == 0) {
      return "cut takes one number from 1 up";
    }
    return {};
  }
  const auto* known = std::find_if(kCalls.begin(), kCalls.end(),
                                   [&](const CallName& c) { return words[0] == c.name; });
  if (known == kCalls.end()) return "unknown call '" + words[0] + "'";
  if (words.size() < 3 || words.size() > 4) return words[0] + " takes PATH ERRNO-NAME [BYTES]";
  Fault fault{known->call, words[1], ErrnoValue(words[2]), 0};
  if (fault.error == 0) return "'" + words[2] + "' is no errno name";
  if (words.size() == 4 && (!ParseNumber(words[3], fault.after) || fault.after < 0)) {
    return "'" + words[3] + "' is no byte count";
  }
  plan.faults.push_back(std::move(fault));
  return {};
}

// The stream under a faulty one: reads and writes go straight to its
// descriptor, so that exactly the bytes let through reach the file.
struct Cookie {
  std::FILE* real;
  Fault fault;
  long long passed = 0;
};

ssize_t CookieRead(void* opaque, char* buffer, std::size_t size) {
  auto* cookie = static_cast<Cookie*>(opaque);
  if (cookie->fault.call == FaultCall::kRead) {
    const long long room = cookie->fault.after - cookie->passed;
    if (room <= 0) {
      errno = cookie->fault.error;
      return -1;
    }
    size = std::min(size, static_cast<std::size_t>(room));
  }
  const ssize_t got = ::read(::fileno(cookie->real), buffer, size);
  if (got > 0) cookie->passed += got;
  return got;
}

ssize_t CookieWrite(void* opaque, const char* buffer, std::size_t size) {
  auto* cookie = static_cast<Cookie*>(opaque);
  std::size_t allowed = size;
  if (cookie->fault.call == FaultCall::kWrite) {
    const long long room = std::max(cookie->fault.after - cookie->passed, 0LL);
    allowed = std::min(size, static_cast<std::size_t>(room));
  }
  std::size_t put = 0;
  while (put < allowed) {
    const ssize_t n = ::write(::fileno(cookie->real), buffer + put, allowed - put);
    if (n < 0) return static_cast<ssize_t>(put);  // errno from write
    put += static_cast<std::size_t>(n);
  }
  cookie->passed += static_cast<long long>(put);
  // A short count marks the stream as failed.
  if (put < size) errno = cookie->fault.error;
  return static_cast<ssize_t>(put);
}

int CookieSeek(void* opaque, off64_t* offset, int whence) {
  const off64_t at = ::lseek64(::fileno(static_cast<Cookie*>(opaque)->real), *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int CookieClose(void* opaque) {
  auto* cookie = static_cast<Cookie*>(opaque);
  const std::unique_ptr<Cookie> owned(cookie);
  return std::fclose(owned->real) == 0 ? 0 : -1;
}

}  // namespace

const Fault* FaultPlan::Find(FaultCall call, std::string_view path) const {
  for (const Fault& fault : faults) {
    if (fault.call == call && fault.path == path) return &fault;
  }
  return nullptr;
}

std::string LoadFaultPlan(const std::string& root, FaultPlan& plan) {
  plan = FaultPlan{};
  std::ifstream in(root + kPlanFile);
  if (!in) return {};
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const std::string problem = ParseLine(line, plan);
    if (!problem.empty()) {
      return root + kPlanFile + " line " + std::to_string(number) + ": " + problem;
    }
  }
  return {};
}

std::FILE* FaultyStream(std::FILE* real, const Fault& fault, const char* mode) {
  auto cookie = std::make_unique<Cookie>(Cookie{real, fault});
  const cookie_io_functions_t io = {CookieRead, CookieWrite, CookieSeek, CookieClose};
  std::FILE* stream = ::fopencookie(cookie.get(), mode, io);
  if (stream == nullptr) {
    std::fclose(real);
    return nullptr;
  }
  cookie.release();  // CookieClose deletes it
  return stream;
}

}  // namespace upd::sim
