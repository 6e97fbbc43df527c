#include "search/sqlite/JournalReader.h"

#include <exception>
#include <utility>

namespace tavrik {

// An export's place: shared with the job that reads its next chunk, which
// may end after the cursor has gone.
class JournalReader::Cursor final : public ArchiveCursor {
 public:
  Cursor(JournalReader& reader, const ReceiptQuery& query)
      : reader_(reader), state_(std::make_shared<State>(State{query, false})) {}

  void Pull(std::function<void(ArchivePage)> done) override {
    if (state_->exhausted) {
      done(ArchivePage());
      return;
    }
    reader_.Run([state = state_](
                    JournalConnection& connection) { return connection.ExportChunk(state->query); },
                [state = state_, done = std::move(done)](ArchivePage page) {
                  if (page.next) state->query.before = *page.next;
                  state->exhausted = !page.next || !page.error.empty();
                  done(std::move(page));
                });
  }

 private:
  struct State {
    ReceiptQuery query;
    bool exhausted;
  };
  JournalReader& reader_;
  std::shared_ptr<State> state_;
};

JournalReader::JournalReader(Platform& platform, std::string path)
    : connection_(std::move(path)), worker_(platform.CreateWorker()) {
  worker_->LowerPriority(WorkerPriority::kBelowNormal);  // the relay's clients first: a search may take a little longer
}

JournalReader::~JournalReader() = default;

void JournalReader::Run(std::function<ArchivePage(JournalConnection&)> read,
                        std::function<void(ArchivePage)> done) {
  auto page = std::make_shared<ArchivePage>();
  worker_->Run([this, page, read = std::move(read)] { *page = read(connection_); },
               [page, done = std::move(done)] { done(std::move(*page)); });
}

void JournalReader::Search(const ReceiptQuery& query, std::function<void(ArchivePage)> done) {
  Run([query](JournalConnection& connection) { return connection.Search(query); }, std::move(done));
}

void JournalReader::Find(uint64_t seq, std::function<void(ArchivePage)> done) {
  Run([seq](JournalConnection& connection) { return connection.Find(seq); }, std::move(done));
}

void JournalReader::Between(uint64_t after, uint64_t below, int64_t sinceMs, int count,
                            std::function<void(ArchivePage)> done) {
  Run(
      [=](JournalConnection& connection) {
        return connection.Between(after, below, sinceMs, count);
      },
      std::move(done));
}

void JournalReader::UseFrame(uint64_t seq, FrameUse use, std::function<void(ArchiveMade)> done) {
  auto made = std::make_shared<ArchiveMade>();
  worker_->Run(
      [this, seq, made, use = std::move(use)] {
        try {
          std::string frame;
          if (connection_.Frame(seq, frame, made->error)) made->made = use(frame, made->bytes);
        } catch (const std::exception& e) {  // lack of memory: the next one may fare better
          *made = ArchiveMade();
          made->error = e.what();
        }
      },
      [made, done = std::move(done)] { done(std::move(*made)); });
}

std::unique_ptr<ArchiveCursor> JournalReader::Export(const ReceiptQuery& query) {
  return std::make_unique<Cursor>(*this, query);
}

}  // namespace tavrik
