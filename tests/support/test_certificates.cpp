#include "tests/support/test_certificates.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace trovelane::test {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("test certificates: failed: " + command);
  }
}

struct Folder {
  std::filesystem::path path;
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

void MakeAuthority(const std::string& dir, const std::string& name) {
  Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj /CN=" +
      name + " -keyout " + dir + "/" + name + ".key -out " + dir + "/" + name + ".pem");
}

void MakeLeaf(const std::string& dir, const std::string& name, const std::string& altNames) {
  std::string base = dir + "/" + name;
  Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=" + name +
      " -keyout " + base + ".key -out " + base + ".csr");
  std::ofstream(base + ".ext") << "subjectAltName=" << altNames << "\n";
  Run("openssl x509 -req -in " + base + ".csr -CA " + dir + "/ca.pem -CAkey " + dir +
      "/ca.key -CAcreateserial -days 2 -extfile " + base + ".ext -out " + base + ".pem");
}

}  // namespace

const TestCertificates& GetTestCertificates() {
  static Folder folder;
  static const TestCertificates certificates = [] {
    char name[] = "/tmp/trovelane-certs-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("test certificates: mkdtemp");
    folder.path = name;
    std::string dir = name;
    MakeAuthority(dir, "ca");
    MakeAuthority(dir, "otherca");
    MakeLeaf(dir, "server", "DNS:localhost,IP:127.0.0.1");
    MakeLeaf(dir, "wrongname", "DNS:other.invalid");
    std::filesystem::create_directory(dir + "/cadir");
    Run("cp " + dir + "/ca.pem " + dir + "/cadir/ && openssl rehash " + dir + "/cadir");
    TestCertificates made;
    made.caFile = dir + "/ca.pem";
    made.caDir = dir + "/cadir";
    made.otherCaFile = dir + "/otherca.pem";
    made.serverCert = dir + "/server.pem";
    made.serverKey = dir + "/server.key";
    made.wrongNameCert = dir + "/wrongname.pem";
    made.wrongNameKey = dir + "/wrongname.key";
    return made;
  }();
  return certificates;
}

ServerCertificate MakeServerCertificate(const std::vector<std::string>& hostNames) {
  static std::mutex mutex;
  static int made = 0;
  const std::string dir = std::filesystem::path(GetTestCertificates().caFile).parent_path();
  std::string altNames;
  for (const std::string& name : hostNames) {
    // The names go into a shell command line and an openssl file.
    if (name.empty() || name.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") !=
                            std::string::npos) {
      throw std::runtime_error("test certificates: not a host name: " + name);
    }
    altNames += (altNames.empty() ? "DNS:" : ",DNS:") + name;
  }
  std::lock_guard lock(mutex);
  std::string leaf = "leaf" + std::to_string(++made);
  MakeLeaf(dir, leaf, altNames);
  return {dir + "/" + leaf + ".pem", dir + "/" + leaf + ".key"};
}

}  // namespace trovelane::test
