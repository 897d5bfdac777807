#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <system_error>
#include <thread>

#include "cipher/text_cipher.h"
#include "cipher/text_reader.h"

namespace {

constexpr std::uintptr_t kPage = 4096;
static_assert(CTextReader::kHeadroom <= kPage);

// Returns where the chunk starts in a buffer of kPage + kChunkSize bytes: on a
// page boundary, which makes the kernel's copies into and out of it cheaper
// (a sixth less system time in a 1 GiB conversion), with the reader's
// headroom just before it.
char* ChunkIn(char* pBuffer) {
  const auto nAddress = reinterpret_cast<std::uintptr_t>(pBuffer + CTextReader::kHeadroom);
  return pBuffer + CTextReader::kHeadroom + (-nAddress & (kPage - 1));
}

// A chunk buffer and the converted text in it, handed from the step that
// reads to the step that writes. The buffer is allocated on first use, so an
// input of one chunk needs one buffer.
struct SSlot {
  std::unique_ptr<char[]> pBuffer;
  std::span<char> text;
  CStatus status;
  std::exception_ptr pError;  // What the reading step threw, rethrown by the writing step.
  bool bFull = false;         // The read filled the whole chunk: more input may follow.
  bool bLast = false;
};

// The count of filled slots, which the two threads hand back and forth.
class CHandover {
 public:
  // Waits until a slot is free to fill; returns false when stop is requested.
  bool AwaitEmptySlot(const std::stop_token& stop) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait(lock, stop, [this] { return m_nFilled < 2; });
  }

  // Waits until a slot has been filled.
  void AwaitFilledSlot() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_nFilled > 0; });
  }

  // Counts a slot as filled (+1) or emptied (-1) and wakes the other thread.
  void Count(int nChange) {
    {
      std::lock_guard lock(m_mutex);
      m_nFilled += nChange;
    }
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable_any m_changed;
  int m_nFilled = 0;
};

// Reads the next chunk into the slot and turns it into converted text.
void ReadChunk(const CTextCipher::ChunkReader& read, CTextReader& reader, const CTextCipher& cipher,
               SSlot& slot) {
  constexpr std::size_t kChunkSize = CTextCipher::kChunkSize;
  if (!slot.pBuffer) slot.pBuffer = std::make_unique_for_overwrite<char[]>(kPage + kChunkSize);
  char* const pChunk = ChunkIn(slot.pBuffer.get());
  std::size_t nRead = 0;
  slot.status = read(pChunk, kChunkSize, &nRead);
  if (!slot.status.IsOk()) {
    slot.text = {};
  } else if (nRead == 0) {
    slot.text = reader.Finish(slot.pBuffer.get());
  } else {
    slot.text = reader.Take(pChunk, nRead);
  }
  cipher.ConvertBuffer(slot.text);
  slot.bFull = nRead == kChunkSize;
  slot.bLast = !slot.status.IsOk() || nRead == 0 || reader.AtEnd();
}

// The reading step, the same on either thread. What it throws (memory
// running out) is kept in the slot: on the second thread it would otherwise
// end the process, and the writing step reports it as it would its own.
void FillSlot(const CTextCipher::ChunkReader& read, CTextReader& reader, const CTextCipher& cipher,
              SSlot& slot) {
  try {
    ReadChunk(read, reader, cipher, slot);
  } catch (...) {
    slot.pError = std::current_exception();
    slot.bLast = true;
  }
}

// Starts produce(stop, nSlot) on a thread of its own, or returns no thread
// when none can be had (a process limit, a huge stack limit): the conversion
// then goes on without it, only slower.
template <typename Produce>
std::jthread TryToStart(const Produce& produce, int nSlot) {
  try {
    return std::jthread(produce, nSlot);
  } catch (const std::system_error&) {
    return {};
  }
}

}  // namespace

// The file is streamed in fixed chunks rather than read whole, so memory
// stays small and the same at any file size, and files larger than memory
// convert as well as small ones. A chunk of 256 KiB stays in the second-level
// cache from read() through the conversion to write(). Measured end to end on
// 1 GiB: 64 KiB is about a tenth slower (more system calls), 512 KiB the same,
// 1 MiB twice as slow (the chunk no longer fits the cache).
//
// Once a read fills a whole chunk, a second thread reads and converts the
// next chunk while this one writes the one before: with a core to spare, the
// conversion then hides behind the copying that read() and write() do anyway
// (1 GiB of LF text: 0.29 s instead of 0.36 s, against 0.28 s for cat). Two
// chunks keep both threads busy. Before that, and for good when the thread
// cannot start, this thread runs the same reading step itself: most text
// files fit in one chunk, and for them starting a thread would cost more than
// the whole conversion.
//
// The two threads hand the slots over under a mutex and a condition variable
// rather than semaphores: the Windows build's semaphores (MinGW-w64's C++
// library, run under Wine) were seen to miss a wake-up and hang for good, and
// a chunk's handover costs nothing next to its copy.
CStatus CTextCipher::ConvertStream(const ChunkReader& read, const TextWriter& write) const {
  SSlot slots[2];
  CTextReader reader(m_eKernel);
  const auto fill = [&](SSlot& slot) { FillSlot(read, reader, *this, slot); };

  CHandover handover;
  const auto produce = [&](const std::stop_token& stop, int i) {
    for (; handover.AwaitEmptySlot(stop); i ^= 1) {
      fill(slots[i]);
      const bool bLast = slots[i].bLast;
      handover.Count(+1);
      if (bLast) return;
    }
  };
  bool bMayStart = true;
  // Declared last, so that on every return it is stopped and joined before
  // anything it uses goes away.
  std::jthread producer;

  for (int i = 0;;) {
    if (producer.joinable()) {
      handover.AwaitFilledSlot();
    } else {
      fill(slots[i]);
      handover.Count(+1);
      if (bMayStart && slots[i].bFull && !slots[i].bLast) {
        bMayStart = false;
        producer = TryToStart(produce, i ^ 1);
      }
    }
    const SSlot& slot = slots[i];
    if (slot.pError) std::rethrow_exception(slot.pError);
    if (!slot.status.IsOk()) return slot.status;
    if (CStatus status = slot.text.empty() ? CStatus() : write(slot.text); !status.IsOk()) {
      return status;
    }
    if (slot.bLast) return {};
    handover.Count(-1);
    // On its own this thread reuses the one buffer.
    if (producer.joinable()) i ^= 1;
  }
}
