// The writer walk: one iterative walk (see WalkTree), so depth costs no
// stack, parameterised by its sink and its style.
#include "output/TreeWriter.h"

#include <algorithm>
#include <utility>

#include "tree/CDocument.h"
#include "tree/CNodeList.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

namespace {

// Appends to a string by copying into its room directly: the string's size
// runs ahead of the bytes written by up to a step, made by one resize (which
// grows the string as appending would), and Finish cuts it back. Appending
// through the string instead costs a call and its checks for every piece,
// most of them a few bytes.
class CStringSink {
public:
    explicit CStringSink(std::string& out) : mOut(out), mUsed(out.size()) {}
    CStringSink(const CStringSink&) = delete;
    CStringSink& operator=(const CStringSink&) = delete;

    KIVOPARSE_INLINE void Put(std::string_view bytes) {
        if (bytes.size() > mOut.size() - mUsed) Grow(bytes.size());
        CopyPiece(mOut.data() + mUsed, bytes.data(), bytes.size());
        mUsed += bytes.size();
    }
    KIVOPARSE_INLINE void Put(char byte) {
        if (mUsed == mOut.size()) Grow(1);
        mOut.data()[mUsed++] = byte;
    }
    // The string holds exactly the bytes written.
    void Finish() { mOut.resize(mUsed); }

private:
    static constexpr std::size_t kStep = std::size_t{64} << 10;
    static constexpr std::size_t kFirstStep = 256;

    // A resize zero-fills what it adds, so the size runs ahead by a step at
    // most: within the room reserved when it has some, else by as much as
    // is written already (from kFirstStep). A small output never pays for
    // filling a whole step.
    KIVOPARSE_NOINLINE void Grow(std::size_t wanted) {
        const std::size_t room = mOut.capacity() - mUsed;
        const std::size_t ahead = room >= wanted ? room : std::max(mUsed, kFirstStep);
        mOut.resize(mUsed + std::max(wanted, std::min(ahead, kStep)));
    }

    std::string& mOut;
    std::size_t mUsed;
};

// Writes to a C stream.
struct SFileSink {
    std::FILE* mFile;
    void Put(std::string_view bytes) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), mFile);
    }
    void Put(char byte) { std::fputc(byte, mFile); }
};

// A tag's name, out of line: in line, its test for a NUL grew the walk past
// the compiler's inlining budget.
KIVOPARSE_NOINLINE std::string_view NameOf(const CTagNode& tag) { return tag.GetName(); }

template <class Sink, bool kDump>
class CWriter {
public:
    explicit CWriter(Sink& sink) : mSink(sink) {}

    void Walk(const CParseNode& top) {
        WalkTree(
            &top,
            [this](const CParseNode* node) {
                switch (node->mType) {
                case KP_NODE_TAG:
                    Start(*static_cast<const CTagNode*>(node));
                    return true;
                case KP_NODE_PROPERTY:
                    Property(*node);
                    return false;
                default:
                    Piece(node->Data());
                    return true;
                }
            },
            [this](const CParseNode* node) {
                if (node->mType == KP_NODE_TAG) End(*static_cast<const CTagNode*>(node));
            });
    }

private:
    // Bytes of the tree: whole in HTML, up to the first NUL in the dump.
    void Piece(std::string_view bytes) { mSink.Put(kDump ? UpToNul(bytes) : bytes); }

    void Property(const CParseNode& property) {
        // An attribute list holds attributes only: their names are read
        // without the switch of Name().
        Piece(property.mType == KP_NODE_PROPERTY ? static_cast<const CPropertyNode&>(property).PropertyName()
                                                 : property.Name());
        if (!kDump && !property.bHasValue) return;
        mSink.Put("=\"");
        Piece(property.Data());
        mSink.Put('"');
    }

    void Start(const CTagNode& tag) {
        mSink.Put('<');
        mSink.Put(NameOf(tag));
        for (const CParseNode* property = tag.Properties()->GetFirst(); property; property = property->NextSibling()) {
            mSink.Put(' ');
            Property(*property);
        }
        mSink.Put('>');
    }

    // The closing tag is rebuilt from the start tag's own name, and only
    // when an end tag was matched to it.
    void End(const CTagNode& tag) {
        if (!tag.bEndTag) return;
        mSink.Put("</");
        mSink.Put(NameOf(tag));
        mSink.Put('>');
    }

    Sink& mSink;
};

}  // namespace

CChunkSink::CChunkSink(Write write, std::size_t chunkSize)
    : mWrite(std::move(write)), mChunkSize(chunkSize == 0 ? 1 : chunkSize), mBuffer(new char[mChunkSize]) {}

void CChunkSink::PutAfterFlush(std::string_view bytes) {
    Flush();
    if (bytes.size() >= mChunkSize) {
        mWrite(bytes);
        return;
    }
    CopyPiece(mBuffer.get(), bytes.data(), bytes.size());
    mUsed = bytes.size();
}

void CChunkSink::Flush() {
    if (mUsed == 0) return;
    // Emptied first: a writer that throws leaves the sink usable.
    const std::size_t used = mUsed;
    mUsed = 0;
    mWrite(std::string_view(mBuffer.get(), used));
}

std::string WriteHtml(const CParseNode& top, std::size_t sizeHint) {
    std::string out;
    const auto capacity = static_cast<std::size_t>(static_cast<double>(sizeHint) * 1.2);
    if (capacity > 0) out.reserve(capacity);
    // A large output is written into huge pages where the system allows.
    if (out.capacity() >= std::size_t{4} << 20) AdviseHugePages(out.data(), out.capacity());
    CStringSink sink(out);
    CWriter<CStringSink, false>(sink).Walk(top);
    sink.Finish();
    return out;
}

void WriteHtml(const CParseNode& top, CChunkSink& sink) {
    CWriter<CChunkSink, false>(sink).Walk(top);
    sink.Flush();
}

std::string WriteHtml(const CDocument& document) { return WriteHtml(*document.Root(), document.Text().size()); }

void WriteHtml(const CDocument& document, CChunkSink& sink) { WriteHtml(*document.Root(), sink); }

void DumpTree(const CParseNode& top, std::FILE* file) {
    SFileSink sink{file};
    CWriter<SFileSink, true>(sink).Walk(top);
}

}  // namespace kivoparse
