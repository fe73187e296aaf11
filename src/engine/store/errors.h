#pragma once
// The error kinds of the store. Their messages are part of the program's behaviour.

#include <stdexcept>
#include <string>

namespace frambul::store {

// General error kind: failed profile writes, bad numbers, unreadable files.
class EStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Registry failures; the message names the value.
class ERegistryException : public EStoreError {
 public:
  using EStoreError::EStoreError;
};

// Text that is not a number where a number is required.
class EConvertError : public EStoreError {
 public:
  using EStoreError::EStoreError;
};

// Why a file operation failed, in the words the program speaks to its user
// ("нет места на диске" for ENOSPC); `writing` tells write from read access.
std::string FailureReason(int err, bool writing);

// Fills the single %s of a message pattern.
std::string Format(const char* pattern, const std::string& arg);

}  // namespace frambul::store
