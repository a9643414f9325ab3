#include "support/digests.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <memory>

#include "sim/sim_paths.h"

namespace upd::test {

namespace {

std::string Hex(std::string_view content, const EVP_MD* md) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(content.data(), content.size(), digest, &length, md, nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

}  // namespace

std::string Md5Hex(std::string_view content) {
  return Hex(content, EVP_md5());
}

std::string Sha256Hex(std::string_view content) {
  return Hex(content, EVP_sha256());
}

bool MakeKeyPair(const std::string& dir) {
  const std::string key = sim::ShellQuote(dir + "/key.pem");
  const std::string pub = sim::ShellQuote(dir + "/key.pub");
  return Shell("openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " + key) &&
         Shell("openssl pkey -in " + key + " -pubout -out " + pub);
}

bool SignFile(const std::string& dir, const std::string& file, const std::string& signature) {
  return Shell("openssl dgst -sha256 -sign " + sim::ShellQuote(dir + "/key.pem") + " -out " +
               sim::ShellQuote(signature) + " " + sim::ShellQuote(file));
}

}  // namespace upd::test
