#pragma once
// How much a site may keep in local shared objects, and the question to
// the user when an object wants more. The privacy settings store answers
// these; until one is installed, DefaultStorageLimits does: 100 KB a site
// and nobody to ask. Player thread only.
#include <cstdint>
#include <string>

namespace kivra {

class StorageLimits {
 public:
  static constexpr int64_t kUnlimited = -2;
  static constexpr int64_t kNeverAsk = -1;  // no storage, and the user is not to be asked

  virtual ~StorageLimits() = default;
  // The limit in bytes of the site of the movie at `movieUrl`, or one of
  // the values above.
  virtual int64_t siteLimit(const std::string& movieUrl) = 0;
  // Asks the user to let the site keep `bytes`; the object waits under
  // `request` until SharedObjects::storageAnswered(request). False when
  // nobody can be asked (the flush then fails at once).
  virtual bool requestStorage(const std::string& movieUrl, uint64_t bytes, uint32_t request) = 0;
  // Whether the movie comes from the settings address: only such movies
  // may use the settings' reserved scope.
  virtual bool settingsAddress(const std::string& movieUrl) = 0;
};

class DefaultStorageLimits : public StorageLimits {
 public:
  static constexpr int64_t kDefaultLimit = 100 * 1024;
  int64_t siteLimit(const std::string& movieUrl) override {
    (void)movieUrl;
    return kDefaultLimit;
  }
  bool requestStorage(const std::string& movieUrl, uint64_t bytes, uint32_t request) override {
    (void)movieUrl, (void)bytes, (void)request;
    return false;
  }
  bool settingsAddress(const std::string& movieUrl) override {
    (void)movieUrl;
    return false;
  }
};

}  // namespace kivra
