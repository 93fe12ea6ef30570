// TFileStream on POSIX file descriptors.
//
// The primitives below raise the file errors (EFileSeekError, ...); each
// stream operation turns the error it meets into the stream error of that
// operation, keeping the system's message.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "core/streams.h"

namespace zel {

namespace {

std::string SystemErrorText(int code) { return std::strerror(code); }

template <typename FileError>
[[noreturn]] void RaiseLastError() {
  const int code = errno;
  throw FileError(code, SystemErrorText(code));
}

int64_t FileSeek(int handle, int64_t offset, int whence) {
  const off_t result = ::lseek(handle, static_cast<off_t>(offset), whence);
  if (result < 0) RaiseLastError<EFileSeekError>();
  return result;
}

int64_t FileSize(int handle) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) RaiseLastError<EFileError>();
  return st.st_size;
}

void FileTruncateHere(int handle) {
  const int64_t here = FileSeek(handle, 0, SEEK_CUR);
  if (::ftruncate(handle, static_cast<off_t>(here)) != 0) RaiseLastError<EFileAccessError>();
}

int32_t FileRead(int handle, std::span<uint8_t> destination) {
  size_t done = 0;
  while (done < destination.size()) {
    const ssize_t n = ::read(handle, destination.data() + done, destination.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastError<EFileReadError>();
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int32_t>(done);
}

int32_t FileWrite(int handle, std::span<const uint8_t> source) {
  size_t done = 0;
  while (done < source.size()) {
    const ssize_t n = ::write(handle, source.data() + done, source.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastError<EFileWriteError>();
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int32_t>(done);
}

// Runs a file operation and maps what it raises to the stream error
// StreamError: a file error keeps its message; anything else gives the
// stream error's default message. Stream errors pass unchanged.
template <typename StreamError, typename F>
auto AsStreamError(F&& operation) {
  try {
    return operation();
  } catch (const EStreamError&) {
    throw;
  } catch (const EFileError& e) {
    throw StreamError(e.Message());
  } catch (const EAbort&) {
    throw;
  } catch (...) {
    throw StreamError();
  }
}

}  // namespace

TFileStream::TFileStream(const std::string& fileName, TFileCreation creation, unsigned share, unsigned access) {
  Open(fileName, creation, share, access);
}

TFileStream::~TFileStream() { Close(); }

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& fileName, unsigned share) {
  return std::make_unique<TFileStream>(fileName, TFileCreation::OpenExisting, share, faRead);
}

std::unique_ptr<TFileStream> TFileStream::CreateWrite(const std::string& fileName) {
  return std::make_unique<TFileStream>(fileName, TFileCreation::CreateAlways, fsRead, faWrite);
}

void TFileStream::Open(const std::string& fileName, TFileCreation creation, unsigned /*share*/, unsigned access) {
  Close();
  int flags = O_CLOEXEC;
  if ((access & faRead) && (access & faWrite)) {
    flags |= O_RDWR;
  } else if (access & faWrite) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  switch (creation) {
    case TFileCreation::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case TFileCreation::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case TFileCreation::OpenExisting: break;
    case TFileCreation::OpenAlways: flags |= O_CREAT; break;
    case TFileCreation::TruncateExisting: flags |= O_TRUNC; break;
  }
  int handle;
  do {
    handle = ::open(fileName.c_str(), flags, 0644);
  } while (handle < 0 && errno == EINTR);
  if (handle < 0) throw EFileOpenError(errno, fileName);
  // A folder opens for reading on this platform but is not a file.
  struct stat st {};
  if (::fstat(handle, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(handle);
    throw EFileOpenError(EISDIR, fileName);
  }
  fHandle = handle;
  fFileName = fileName;
}

void TFileStream::Close() noexcept {
  if (fHandle >= 0) ::close(fHandle);
  fHandle = -1;
}

int64_t TFileStream::GetPosition() {
  return AsStreamError<EStreamError>([&] { return FileSeek(fHandle, 0, SEEK_CUR); });
}

void TFileStream::SetPosition(int64_t position) {
  AsStreamError<EStreamSeekError>([&] { return FileSeek(fHandle, position, SEEK_SET); });
}

int64_t TFileStream::GetSize() {
  return AsStreamError<EStreamError>([&] { return FileSize(fHandle); });
}

void TFileStream::SetSize(int64_t size) {
  AsStreamError<EStreamError>([&] {
    const int64_t position = FileSeek(fHandle, 0, SEEK_CUR);
    FileSeek(fHandle, size, SEEK_SET);
    FileTruncateHere(fHandle);
    FileSeek(fHandle, position, SEEK_SET);
    return 0;
  });
}

void TFileStream::Clear() {
  AsStreamError<EStreamError>([&] {
    FileSeek(fHandle, 0, SEEK_SET);
    FileTruncateHere(fHandle);
    return 0;
  });
}

int32_t TFileStream::DoRead(std::span<uint8_t> destination) {
  return AsStreamError<EStreamReadError>([&] { return FileRead(fHandle, destination); });
}

int32_t TFileStream::DoWrite(std::span<const uint8_t> source) {
  return AsStreamError<EStreamWriteError>([&] { return FileWrite(fHandle, source); });
}

int64_t TFileStream::CopyFrom(TStream& source, int64_t count) {
  if (!IsOpen() || count <= 0) return 0;
  constexpr int64_t kStackBuffer = 32768;
  constexpr int64_t kSmallPlan = 1048576;
  constexpr int64_t kLargestBuffer = 8388608;
  const int64_t sourceSize = source.GetSize();
  const int64_t planned = sourceSize == -1 ? kSmallPlan + 1 : std::min(count, sourceSize - source.GetPosition());
  if (planned <= 0) return 0;

  uint8_t stackBuffer[kStackBuffer];
  std::unique_ptr<uint8_t[]> heapBuffer;
  std::span<uint8_t> buffer(stackBuffer, kStackBuffer);
  if (planned > kSmallPlan) {
    const auto size = static_cast<size_t>(std::min(planned, kLargestBuffer));
    heapBuffer = std::make_unique<uint8_t[]>(size);
    buffer = std::span<uint8_t>(heapBuffer.get(), size);
  }

  int64_t total = 0;
  while (count > 0) {
    const auto want = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(buffer.size())));
    const int32_t got = source.Read(buffer, want);
    if (got <= 0) break;
    if (Write(buffer, got) != got) throw EStreamWriteError();
    total += got;
    count -= got;
  }
  return total;
}

// ---------------------------------------------------------------------------

std::unique_ptr<TBufferedFileStream> TBufferedFileStream::OpenRead(const std::string& fileName, unsigned share) {
  return std::make_unique<TBufferedFileStream>(fileName, TFileCreation::OpenExisting, share, faRead);
}

void TBufferedFileStream::SetPosition(int64_t position) {
  if (position < 0) throw EStreamSeekError(SystemErrorText(EINVAL));
  if (!IsOpen()) TFileStream::SetPosition(position);  // the closed stream's error
  fPosition = position;
}

void TBufferedFileStream::SetSize(int64_t size) {
  fBufferFill = 0;
  TFileStream::SetSize(size);
}

void TBufferedFileStream::Clear() {
  fBufferFill = 0;
  TFileStream::Clear();
  fPosition = 0;
}

int32_t TBufferedFileStream::ReadAt(int64_t offset, std::span<uint8_t> destination) {
  return AsStreamError<EStreamReadError>([&] {
    size_t done = 0;
    while (done < destination.size()) {
      const ssize_t n = ::pread(Handle(), destination.data() + done, destination.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseLastError<EFileReadError>();
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int32_t>(done);
  });
}

int32_t TBufferedFileStream::DoRead(std::span<uint8_t> destination) {
  size_t done = 0;
  while (done < destination.size()) {
    const int64_t inBuffer = fPosition - fBufferStart;
    if (inBuffer >= 0 && inBuffer < static_cast<int64_t>(fBufferFill)) {
      const size_t n = std::min(destination.size() - done, fBufferFill - static_cast<size_t>(inBuffer));
      std::memcpy(destination.data() + done, fBuffer.data() + inBuffer, n);
      done += n;
      fPosition += static_cast<int64_t>(n);
      continue;
    }
    const size_t wanted = destination.size() - done;
    if (wanted >= kBufferSize) {
      // Large reads go straight to the caller.
      const int32_t got = ReadAt(fPosition, destination.subspan(done));
      done += static_cast<size_t>(got);
      fPosition += got;
      break;
    }
    if (fBuffer.empty()) fBuffer.resize(kBufferSize);
    fBufferStart = fPosition;
    fBufferFill = static_cast<size_t>(ReadAt(fPosition, fBuffer));
    if (fBufferFill == 0) break;
  }
  return static_cast<int32_t>(done);
}

int32_t TBufferedFileStream::DoWrite(std::span<const uint8_t> source) {
  fBufferFill = 0;
  TFileStream::SetPosition(fPosition);
  const int32_t put = TFileStream::DoWrite(source);
  fPosition += put;
  return put;
}

}  // namespace zel
