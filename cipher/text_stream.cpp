#include <atomic>
#include <chrono>
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
// reads to the step that writes.
struct SSlot {
  std::unique_ptr<char[]> pBuffer;
  std::span<char> text;
  CStatus status;
  std::exception_ptr pError;  // What the reading step threw, rethrown by the writing step.
  bool bFull = false;         // The read filled the whole chunk: more input may follow.
  bool bLast = false;
};

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

// Slots for chunks between reading and writing once a second thread reads:
// one being written and two made ahead, so that neither thread waits on the
// other's every step.
constexpr std::size_t kSlots = 3;

// How long a thread that waits on the other gives way before it sleeps.
constexpr std::chrono::microseconds kGiveWayTime{500};

// Gives way to other threads while ready() is false, for up to
// kGiveWayTime; returns ready()'s last answer.
template <typename Ready>
bool GiveWayUntil(const Ready& ready) {
  const auto giveUp = std::chrono::steady_clock::now() + kGiveWayTime;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::yield();
  }
  return true;
}

// Takes lock, giving way first while another thread holds it.
void LockGivingWay(std::unique_lock<std::mutex>& lock) {
  if (!GiveWayUntil([&] { return lock.try_lock(); })) lock.lock();
}

// The chunks on their way from reading to writing: numbered from 0, made
// (read and converted) in order, one thread at a time, into slots, and
// written in order from there by the calling thread.
class CChunkPipeline {
 public:
  // Reads through read and converts with reader; gives the first slot its
  // buffer.
  CChunkPipeline(const CTextCipher::ChunkReader& read, CTextReader& reader)
      : m_read(read), m_reader(reader) {
    m_slots[0].pBuffer = NewChunkBuffer();
  }

  // Returns the slot of chunk nChunk once it is made, making it on this
  // thread unless another is making it.
  // REQUIRES: chunks 0 to nChunk - 1 were written, and released.
  const SSlot& Take(std::size_t nChunk) {
    std::unique_lock making(m_making, std::defer_lock);
    const auto made = [&] { return m_nMade.load() > nChunk; };
    if (!GiveWayUntil([&] { return made() || making.try_lock(); })) making.lock();
    if (!made()) Make(nChunk);
    return SlotOf(nChunk);
  }

  // Frees the slot of chunk nChunk, which was written.
  void Release(std::size_t nChunk) {
    Change([&] { m_nWritten = nChunk + 1; });
  }

  // Makes chunks ahead of the writing, as far as the slots allow, until the
  // last chunk is made or Stop is called.
  void MakeAhead() {
    const auto slotFree = [&] { return m_nMade.load() - m_nWritten.load() < kSlots; };
    const auto canGoOn = [&] { return m_bStop.load() || m_bEnded.load() || slotFree(); };
    for (;;) {
      if (!GiveWayUntil(canGoOn)) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, canGoOn);
      }
      std::unique_lock making(m_making, std::defer_lock);
      LockGivingWay(making);
      if (m_bStop.load() || m_bEnded.load()) return;
      if (slotFree()) Make(m_nMade.load());
    }
  }

  // Ends MakeAhead once its chunk in the making, if any, is made.
  void Stop() {
    Change([&] { m_bStop = true; });
  }

  // Gives the other slots their buffers, so that the chunks take turns in
  // all of them from the last one made on; throws std::bad_alloc when a
  // buffer cannot be had.
  // REQUIRES: a chunk was made, and every chunk made before it was written.
  void Share() {
    for (std::size_t i = 1; i < kSlots; ++i) m_slots[i].pBuffer = NewChunkBuffer();
    m_nFirstShared = m_nMade.load() - 1;
  }

  // Undoes Share: every chunk goes in the first slot again.
  // REQUIRES: no other thread uses this object.
  void Unshare() {
    m_nFirstShared = kNever;
    for (std::size_t i = 1; i < kSlots; ++i) m_slots[i].pBuffer.reset();
  }

 private:
  static constexpr std::size_t kNever = SIZE_MAX;

  SSlot& SlotOf(std::size_t nChunk) {
    return m_slots[nChunk <= m_nFirstShared ? 0 : (nChunk - m_nFirstShared) % kSlots];
  }

  // REQUIRES: m_making is held by this thread, and nChunk == m_nMade.
  void Make(std::size_t nChunk) {
    SSlot& slot = SlotOf(nChunk);
    FillSlot(m_read, m_reader, slot);
    Change([&] {
      m_bEnded = slot.bLast;
      m_nMade = nChunk + 1;
    });
  }

  // Changes the counts under the mutex, so that a thread about to sleep on
  // them cannot miss it, and wakes any that sleeps.
  template <typename Changes>
  void Change(const Changes& changes) {
    {
      std::lock_guard lock(m_mutex);
      changes();
    }
    m_changed.notify_all();
  }

  const CTextCipher::ChunkReader& m_read;
  CTextReader& m_reader;
  SSlot m_slots[kSlots];
  std::size_t m_nFirstShared = kNever;  // The chunk in the first slot when Share was called.
  std::mutex m_making;                  // Held while a chunk is made.
  std::mutex m_mutex;                   // Held while the counts below change.
  std::condition_variable m_changed;
  std::atomic<std::size_t> m_nMade = 0;
  std::atomic<std::size_t> m_nWritten = 0;
  std::atomic<bool> m_bEnded = false;  // The last chunk is made.
  std::atomic<bool> m_bStop = false;
};

// The second thread: stopped and joined when this object goes away, so that
// on every return it ends before anything it uses. A plain std::thread,
// since std::jthread and std::stop_token are missing from every libc++
// released before 2024 (Xcode 15's and FreeBSD 14's among them).
class CProducer {
 public:
  explicit CProducer(CChunkPipeline& pipeline) : m_pipeline(pipeline) {}
  ~CProducer() {
    if (!m_thread.joinable()) return;
    m_pipeline.Stop();
    m_thread.join();
  }
  CProducer(const CProducer&) = delete;
  CProducer& operator=(const CProducer&) = delete;

  // Starts making chunks ahead on a thread of its own, or leaves the
  // pipeline to the calling thread alone when the thread or the buffers
  // cannot be had.
  // REQUIRES: no thread was started yet; a chunk was made, and every chunk
  // made before it was written.
  void TryToStart();

 private:
  CChunkPipeline& m_pipeline;
  std::thread m_thread;
};

// The buffers are allocated here, on the calling thread, before the thread
// starts: memory and threads run out by the same limits (an address-space
// limit, a process limit, a huge stack limit), and whichever fails first, the
// conversion goes on without the thread, on the calling thread and its one
// buffer, only slower.
void CProducer::TryToStart() {
  try {
    m_pipeline.Share();
    m_thread = std::thread([this] { m_pipeline.MakeAhead(); });
  } catch (const std::exception&) {  // std::bad_alloc or std::system_error.
    m_pipeline.Unshare();
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
// An input expected to hold kSizeForSecondThread or more is read and
// converted by a second thread too, from the second chunk on, while this one
// writes: with a core to spare, the conversion then hides behind the copying
// that read() and write() do anyway. A smaller one, and a larger one when the
// thread or its buffers cannot be had, is all made by this thread. On a
// 2-core virtual machine, starting the thread and handing the chunks over
// made the median time of 1 and 4 MiB longer, of 8 MiB the same, and of 12,
// 16 and 64 MiB shorter (by a fifth at 64 MiB), on LF and CR LF text alike.
// Even with the second thread, this one never waits for a chunk that nobody
// is making: it makes the next chunk itself when it is not made yet and the
// other thread is not at it (asleep, or not yet started). So a thread slow
// to wake costs the time of the work it would have done, never more.
//
// A thread that has to wait gives way to others for up to kGiveWayTime
// before it sleeps: on a 2-core virtual machine a wake-up from sleep took
// from 0.1 to 0.6 ms (perf trace), where a chunk's read and write take about
// 0.2 ms, so the other's next step is usually done sooner. Giving way rather
// than spinning lets the other thread run when both share a core.
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
                                   std::optional<STextCut>* pCut, std::uint64_t nSize) const {
  CTextReader reader(MakeByteRule(m_nBase, m_nWidth, m_nShift), m_eKernel);
  CChunkPipeline pipeline(read, reader);
  // Declared last, so that it goes away first.
  CProducer producer(pipeline);
  for (std::size_t nChunk = 0;; ++nChunk) {
    const SSlot& slot = pipeline.Take(nChunk);
    if (slot.pError) std::rethrow_exception(slot.pError);
    if (!slot.status.IsOk()) return slot.status;
    if (nChunk == 0 && slot.bFull && !slot.bLast && nSize >= kSizeForSecondThread) {
      producer.TryToStart();
    }
    if (CStatus status = slot.text.empty() ? CStatus() : write(slot.text); !status.IsOk()) {
      return status;
    }
    if (slot.bLast) {
      EndStream(read, reader, slot.pBuffer.get(), pCut);
      return {};
    }
    pipeline.Release(nChunk);
  }
}
