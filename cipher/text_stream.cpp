#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

#include "cipher/byte_rule.h"
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

// Returns a buffer for one chunk and the reader's headroom, as ChunkIn places
// them.
std::unique_ptr<char[]> NewChunkBuffer() {
  return std::make_unique_for_overwrite<char[]>(kPage + CTextCipher::kChunkSize);
}

// A chunk buffer and the converted text in it, handed from the step that
// reads to the step that writes. The second slot gets its buffer only with
// the second thread, so an input of one chunk needs one buffer.
struct SSlot {
  std::unique_ptr<char[]> pBuffer;
  std::span<char> text;
  CStatus status;
  std::exception_ptr pError;  // What the reading step threw, rethrown by the writing step.
  bool bFull = false;         // The read filled the whole chunk: more input may follow.
  bool bLast = false;
};

// The count of filled slots, which the two threads hand back and forth, and
// the request to stop.
class CHandover {
 public:
  // Waits until a slot is free to fill, or Stop was called; returns true when
  // a slot is free.
  bool AwaitEmptySlot() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bStop || m_nFilled < 2; });
    return m_nFilled < 2;
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

  // Ends every wait for a free slot, now and later: it returns false as soon
  // as no slot is free.
  void Stop() {
    {
      std::lock_guard lock(m_mutex);
      m_bStop = true;
    }
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_nFilled = 0;
  bool m_bStop = false;
};

// The second thread: stopped through the handover and joined when this object
// goes away, so that on every return it ends before anything it uses. A plain
// std::thread, since std::jthread and std::stop_token are missing from every
// libc++ released before 2024 (Xcode 15's and FreeBSD 14's among them).
class CProducer {
 public:
  explicit CProducer(CHandover& handover) : m_handover(handover) {}
  ~CProducer() {
    if (!IsRunning()) return;
    m_handover.Stop();
    m_thread.join();
  }
  CProducer(const CProducer&) = delete;
  CProducer& operator=(const CProducer&) = delete;

  // Gives slot a buffer and starts produce(nSlot) on a thread of its own, or
  // leaves slot without a buffer and no thread running when either cannot be
  // had.
  // REQUIRES: no thread was started yet.
  template <typename Produce>
  void TryToStart(const Produce& produce, SSlot& slot, int nSlot);

  // Returns true once the thread was started.
  bool IsRunning() const { return m_thread.joinable(); }

 private:
  CHandover& m_handover;
  std::thread m_thread;
};

// The buffer is allocated here, on the calling thread, before the thread
// starts: memory and threads run out by the same limits (an address-space
// limit, a process limit, a huge stack limit), and whichever fails first, the
// conversion goes on without the thread, on the calling thread and its one
// buffer, only slower.
template <typename Produce>
void CProducer::TryToStart(const Produce& produce, SSlot& slot, int nSlot) {
  try {
    slot.pBuffer = NewChunkBuffer();
    m_thread = std::thread(produce, nSlot);
  } catch (const std::exception&) {  // std::bad_alloc or std::system_error.
    slot.pBuffer.reset();
  }
}

// Reads the next chunk into the slot and turns it into converted text.
void ReadChunk(const CTextCipher::ChunkReader& read, CTextReader& reader, SSlot& slot) {
  constexpr std::size_t kChunkSize = CTextCipher::kChunkSize;
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
  slot.bFull = nRead == kChunkSize;
  slot.bLast = !slot.status.IsOk() || nRead == 0 || reader.AtEnd();
}

// The reading step, the same on either thread. What it throws (memory
// running out while reading) is kept in the slot: on the second thread it
// would otherwise end the process, and the writing step reports it as it
// would its own.
void FillSlot(const CTextCipher::ChunkReader& read, CTextReader& reader, SSlot& slot) {
  try {
    ReadChunk(read, reader, slot);
  } catch (...) {
    slot.pError = std::current_exception();
    slot.bLast = true;
  }
}

// Reads the raw bytes that follow the end of the text, to the end of the
// input, into the chunk buffer pBuffer, and counts them.
CStatus ReadPastEnd(const CTextCipher::ChunkReader& read, CTextReader& reader, char* pBuffer) {
  char* const pChunk = ChunkIn(pBuffer);
  for (;;) {
    std::size_t nRead = 0;
    if (CStatus status = read(pChunk, CTextCipher::kChunkSize, &nRead); !status.IsOk()) {
      return status;
    }
    if (nRead == 0) return {};
    reader.TakeAfterEnd(pChunk, nRead);
  }
}

// Ends the stream once its last slot is written: reads the rest of an input
// whose text ended at a Ctrl-Z into the chunk buffer pBuffer, and stores
// where the text was cut in *pCut, if given. A read that fails there (a bad
// sector in the tail of a damaged file) fails nothing: the text is whole by
// then, and the cut says what could not be read. The second thread has
// handed over its last slot by then and touches nothing more.
void EndStream(const CTextCipher::ChunkReader& read, CTextReader& reader, char* pBuffer,
               std::optional<STextCut>* pCut) {
  CStatus status = reader.AtEnd() ? ReadPastEnd(read, reader, pBuffer) : CStatus();
  if (!status.IsOk()) reader.NoteUnread(status.Reason());
  if (pCut != nullptr) *pCut = reader.Cut();
}

}  // namespace

// The file is streamed in fixed chunks rather than read whole, so memory
// stays small and the same at any file size, and files larger than memory
// convert as well as small ones. A chunk of 256 KiB stays in the second-level
// cache from read() through the conversion to write(). Measured end to end on
// 1 GiB: 64 KiB is about a tenth slower (more system calls), 512 KiB the same,
// 1 MiB twice as slow (the chunk no longer fits the cache).
//
// Once the input has filled kChunksBeforeSecondThread whole chunks (16 MiB),
// a second thread reads and converts the next chunk while this one writes the
// one before: with a core to spare, the conversion then hides behind the
// copying that read() and write() do anyway (1 GiB of LF text: 0.29 s instead
// of 0.36 s, against 0.28 s for cat). Two chunks keep both threads busy.
// Before that, and for good when the thread or its buffer cannot be had, this
// thread runs the same reading step itself. Each chunk handed between the
// threads costs a sleep and a wake-up, and on a 2-core virtual machine a
// wake-up took from 0.1 to 0.6 ms (perf trace), where a chunk's read and
// write take about 0.2 ms; starting the thread costs more again. There, from
// 256 KiB to 64 MiB, one thread alone was faster at every size than a second
// thread from the first chunk on, and at 256 MiB slower than one that takes
// over after 16 MiB (180 and 159 ms on LF text).
//
// The two threads hand the slots over under a mutex and a condition variable
// rather than semaphores: the Windows build's semaphores (MinGW-w64's C++
// library, run under Wine) were seen to miss a wake-up and hang for good.
//
// A text that ends at a Ctrl-Z is written out first; only then is the rest
// of the input read, on this thread, to learn whether anything but more
// Ctrl-Z follows, and how much. Text files that end at their last byte pay
// nothing for it, and those with a Ctrl-Z one read that finds the end.
CStatus CTextCipher::ConvertStream(const ChunkReader& read, const TextWriter& write,
                                   std::optional<STextCut>* pCut) const {
  SSlot slots[2];
  slots[0].pBuffer = NewChunkBuffer();
  CTextReader reader(MakeByteRule(m_nBase, m_nWidth, m_nShift), m_eKernel);
  const auto fill = [&](SSlot& slot) { FillSlot(read, reader, slot); };

  CHandover handover;
  const auto produce = [&](int i) {
    for (; handover.AwaitEmptySlot(); i ^= 1) {
      fill(slots[i]);
      const bool bLast = slots[i].bLast;
      handover.Count(+1);
      if (bLast) return;
    }
  };
  std::size_t nFullChunks = 0;
  // Declared last, so that it goes away first.
  CProducer producer(handover);

  for (int i = 0;;) {
    if (producer.IsRunning()) {
      handover.AwaitFilledSlot();
    } else {
      fill(slots[i]);
      handover.Count(+1);
      // Counted up to the start, which is tried once.
      if (slots[i].bFull && !slots[i].bLast && ++nFullChunks == kChunksBeforeSecondThread) {
        producer.TryToStart(produce, slots[i ^ 1], i ^ 1);
      }
    }
    const SSlot& slot = slots[i];
    if (slot.pError) std::rethrow_exception(slot.pError);
    if (!slot.status.IsOk()) return slot.status;
    if (CStatus status = slot.text.empty() ? CStatus() : write(slot.text); !status.IsOk()) {
      return status;
    }
    if (slot.bLast) {
      EndStream(read, reader, slot.pBuffer.get(), pCut);
      return {};
    }
    handover.Count(-1);
    // On its own this thread reuses the one buffer.
    if (producer.IsRunning()) i ^= 1;
  }
}
