#include "sealed/segment_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/quiet_thread.h"
#include "platform/secure_wipe.h"

namespace vantry::sealed {
namespace {

// One run of input, read in one piece, and what the cipher made of it.
struct Run {
  const unsigned char* in = nullptr;
  std::size_t inSize = 0;        // kSegmentsPerRun pieces, or fewer in the last run
  std::uint64_t at = 0;          // where in the input they start
  bool last = false;             // nothing follows them
  unsigned char* out = nullptr;  // room for kSegmentsPerRun pieces' output
  std::size_t outSize = 0;       // what the cipher made of the pieces done: the bytes to write
};

using RunCipher = std::function<void(Run&)>;

// A block that may hold plain text: the part ever used is wiped before it is freed, so a small
// input does not pay for wiping (nor touching) the whole block.
class WipedBlock {
 public:
  explicit WipedBlock(std::size_t size) : m_bytes(new unsigned char[size]) {}
  ~WipedBlock() { platform::SecureWipe(m_bytes.get(), m_used); }
  WipedBlock(const WipedBlock&) = delete;
  WipedBlock& operator=(const WipedBlock&) = delete;
  unsigned char* data() { return m_bytes.get(); }
  void Used(std::size_t n) { m_used = n > m_used ? n : m_used; }

 private:
  std::unique_ptr<unsigned char[]> m_bytes;
  std::size_t m_used = 0;
};

struct Slot {
  Slot(std::size_t inSize, std::size_t outSize) : in(inSize), out(outSize) {}
  // Freed after the worker's last cipher ended: what it vouched for is all out may hold.
  ~Slot() { out.Used(run.outSize); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  WipedBlock in;
  WipedBlock out;
  Run run;
  std::exception_ptr error;
};

// Runs the cipher of one slot at a time on a thread of its own once Begin is told there is more
// than one run; until then, or when no thread can be had, Finish runs it on the calling thread.
class CipherWorker {
 public:
  explicit CipherWorker(const RunCipher& cipher) : m_cipher(cipher) {}
  ~CipherWorker() {
    if (m_thread.joinable()) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
      }
      m_changed.notify_all();
      m_thread.join();  // after the slot it may still work on: the slots outlive the worker
    }
  }
  CipherWorker(const CipherWorker&) = delete;
  CipherWorker& operator=(const CipherWorker&) = delete;

  void Begin(Slot& slot, bool moreToCome) {
    if (moreToCome && !m_thread.joinable() && !m_noThread) {
      try {
        m_thread = platform::StartQuietThread([this] { Serve(); });
      } catch (const std::exception&) {
        m_noThread = true;  // slower, not wrong: the calling thread does the work
      }
    }
    if (!m_thread.joinable()) {
      m_pending = &slot;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_job = &slot;
    }
    m_changed.notify_all();
  }

  void Finish() {
    if (m_pending != nullptr) {
      Run(*m_pending);
      m_pending = nullptr;
      return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_job == nullptr; });
  }

 private:
  void Run(Slot& slot) {
    try {
      m_cipher(slot.run);
    } catch (...) {
      slot.error = std::current_exception();
    }
  }

  void Serve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_changed.wait(lock, [this] { return m_job != nullptr || m_quit; });
      if (m_job == nullptr) {
        return;
      }
      Slot* slot = m_job;
      lock.unlock();
      Run(*slot);
      lock.lock();
      m_job = nullptr;
      m_changed.notify_all();
    }
  }

  const RunCipher& m_cipher;
  std::thread m_thread;
  bool m_noThread = false;
  Slot* m_pending = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Slot* m_job = nullptr;  // the slot given to the thread, until it is done
  bool m_quit = false;
};

// Reads input run by run, keeping the byte of look-ahead that belongs to the next.
class RunReader {
 public:
  RunReader(ByteReader& input, std::size_t runSize) : m_input(input), m_runSize(runSize) {}
  ~RunReader() { platform::SecureWipe(&m_next, sizeof m_next); }  // a byte of plain text
  RunReader(const RunReader&) = delete;
  RunReader& operator=(const RunReader&) = delete;
  void Read(Slot& slot) {
    unsigned char* in = slot.in.data();
    std::size_t got = 0;
    if (m_carried) {
      in[0] = m_next;
      got = 1;
    }
    try {
      got += m_input.ReadFull(in + got, m_runSize + 1 - got);
    } catch (...) {
      slot.in.Used(m_runSize + 1);  // a reader that throws may have filled any of it
      throw;
    }
    slot.in.Used(got);
    m_carried = got > m_runSize;
    Run& run = slot.run;
    run.in = in;
    run.inSize = m_carried ? m_runSize : got;
    run.at = m_at;
    run.last = !m_carried;
    run.outSize = 0;
    if (m_carried) {
      m_next = in[m_runSize];
    }
    m_at += run.inSize;
  }

 private:
  ByteReader& m_input;
  const std::size_t m_runSize;
  std::uint64_t m_at = 0;
  bool m_carried = false;
  unsigned char m_next = 0;
};

}  // namespace

void PipePieces(ByteReader& input, std::size_t pieceSize, std::size_t outPieceSize,
                ByteWriter& output, const PieceCipher& cipher) {
  const std::size_t runSize = kSegmentsPerRun * pieceSize;
  const std::size_t outCapacity = kSegmentsPerRun * outPieceSize;
  // Every run but the last is whole, so its pieces are; the last piece of the last run is the
  // input's last.
  const RunCipher runCipher = [&](Run& run) {
    std::uint64_t index = run.at / pieceSize;
    std::size_t done = 0;
    do {
      const std::size_t n = std::min(pieceSize, run.inSize - done);
      const bool last = run.last && done + n == run.inSize;
      run.outSize += cipher(run.in + done, n, index++, last, run.out + run.outSize);
      done += n;
    } while (done < run.inSize);
  };
  // Three slots: one written, one in the cipher, one read. The later two are made only for
  // input of more than one run, so a small block costs one slot.
  std::unique_ptr<Slot> slots[3];
  auto slotAt = [&](std::uint64_t i) -> Slot& {
    std::unique_ptr<Slot>& slot = slots[i % 3];
    if (!slot) {
      slot.reset(new Slot(runSize + 1, outCapacity));
    }
    return *slot;
  };
  RunReader reader(input, runSize);
  reader.Read(slotAt(0));
  CipherWorker worker(runCipher);  // after the slots, so it ends before they are freed
  Slot* written = nullptr;
  for (std::uint64_t i = 0;; ++i) {
    Slot& current = slotAt(i);
    current.run.out = current.out.data();
    worker.Begin(current, !current.run.last);
    if (written != nullptr) {
      output.Write(written->run.out, written->run.outSize);
    }
    if (!current.run.last) {
      reader.Read(slotAt(i + 1));
    }
    worker.Finish();
    current.out.Used(current.run.outSize);
    if (current.error) {
      output.Write(current.run.out, current.run.outSize);
      std::rethrow_exception(current.error);
    }
    if (current.run.last) {
      output.Write(current.run.out, current.run.outSize);
      return;
    }
    written = &current;
  }
}

}  // namespace vantry::sealed
