#pragma once
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kivoparse {

class CDocument;
class CParseNode;

// A sink that hands the output on in chunks of about chunkSize bytes, so
// that a large output is never held whole: to a stream, a file descriptor,
// a callback of the public API. Flush hands on what is left.
class CChunkSink {
public:
    using Write = std::function<void(std::string_view chunk)>;
    explicit CChunkSink(Write write, std::size_t chunkSize = std::size_t{64} << 10);
    CChunkSink(const CChunkSink&) = delete;
    CChunkSink& operator=(const CChunkSink&) = delete;

    void Put(std::string_view bytes) {
        if (bytes.size() > mChunkSize - mUsed) {
            Flush();
            if (bytes.size() >= mChunkSize) {
                mWrite(bytes);
                return;
            }
        }
        if (!bytes.empty()) std::memcpy(mBuffer.get() + mUsed, bytes.data(), bytes.size());
        mUsed += bytes.size();
    }
    void Put(char byte) {
        if (mUsed == mChunkSize) Flush();
        mBuffer[mUsed++] = byte;
    }
    void Flush();

private:
    Write mWrite;
    std::size_t mChunkSize;
    // The chunk being filled: mUsed of its mChunkSize bytes.
    std::unique_ptr<char[]> mBuffer;
    std::size_t mUsed = 0;
};

// The one writer walk, over const nodes, in two styles. The HTML: text,
// insert blocks, comments and the root write their data verbatim; a tag
// writes "<NAME attributes>" before its children and, when an end tag was
// matched to it, "</NAME>" after them; an attribute writes name="value", or
// its bare name when no "=" was written. The dump (a debugging aid): the
// same, but every piece ends at its first NUL and every attribute has a
// value.
//
// top's subtree as HTML into a string; sizeHint (the length of the parsed
// text) sets the room reserved.
std::string WriteHtml(const CParseNode& top, std::size_t sizeHint);
// top's subtree as HTML into sink, which is flushed at the end.
void WriteHtml(const CParseNode& top, CChunkSink& sink);
// The whole document as HTML, into a string / into sink.
std::string WriteHtml(const CDocument& document);
void WriteHtml(const CDocument& document, CChunkSink& sink);
// top's subtree dumped to file.
void DumpTree(const CParseNode& top, std::FILE* file);

}  // namespace kivoparse
