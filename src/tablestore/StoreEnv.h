// The store's small file interface. Every byte the table store reads or
// writes goes through it, so tests can inject failures and simulated crashes
// (a wrapper that drops every write after a chosen one).
//
// Durability: a write is durable only after Sync of its file; a file
// created, renamed or removed only after SyncFolder of its folder. The store
// orders its writes on that basis so that a power cut at any point leaves
// files that it either opens correctly or repairs.
//
// Functions return 0 on success or a positive errno value on failure; the
// store maps errno values to its error codes (ENOENT -> 11010, EACCES,
// EWOULDBLOCK -> 11013, EMFILE -> 11012, others -> 11047 when opening; read
// and write failures -> 9217 / 9218).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace corvane {

class TStoreFile {
  public:
    virtual ~TStoreFile() = default;
    // Reads up to `size` bytes at `offset` into `data`; `done` receives the
    // number read (less than asked only at the end of the file).
    virtual int ReadAt(uint64_t offset, void* data, size_t size, size_t& done) = 0;
    // Writes all `size` bytes at `offset`.
    virtual int WriteAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual int Truncate(uint64_t size) = 0;
    virtual int Size(uint64_t& size) = 0;
    virtual int Sync() = 0;
};

enum class TOpenMode {
    Existing,      // the file must exist
    CreateNew,     // the file must not exist (EEXIST otherwise)
    CreateAlways,  // created, or truncated to 0 when it exists
};

enum class TLockMode { None, Shared, Exclusive };

class TStoreEnv {
  public:
    virtual ~TStoreEnv() = default;
    // Opens the file for reading (and writing unless `readOnly`) and takes the
    // advisory lock without waiting (EWOULDBLOCK when another holder has it).
    virtual int Open(const std::string& path, TOpenMode mode, TLockMode lock, bool readOnly,
                     std::unique_ptr<TStoreFile>& file) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) = 0;
    // Makes the folder's entries (files created, renamed or removed in it)
    // durable. Environments without folders have nothing to do.
    virtual int SyncFolder(const std::string& folder);

    // Copies `from` to `to` through a temporary beside `to`, synced, renamed
    // over `to`, and the folder synced: `to` is the old copy or the new one.
    int CopyFile(const std::string& from, const std::string& to);

    // The real file system (POSIX, flock locks).
    static TStoreEnv* Default();
};

}  // namespace corvane
