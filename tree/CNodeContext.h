#pragma once
#include <cstdint>
#include <string>

#include "log/CLogFile.h"
#include "tree/ReplaceAll.h"

namespace kivoparse {

// What a node reaches of the engine that made it: the trace log while one
// is written, the document base that image URLs lose, and the count of work
// done for the parse (see CParsingEngine::BytesRead). The engine is one.
class CNodeContext {
public:
    CNodeContext() = default;
    CNodeContext(const CNodeContext&) = delete;
    CNodeContext& operator=(const CNodeContext&) = delete;

    // The log while a trace file is set, else null: callers test it before
    // they format anything.
    CLogFile* Trace() const { return mTrace; }

    void SetDocumentBase(std::string base) { mBase = CTextDeleter(std::move(base)); }
    const std::string& DocumentBase() const { return mBase.Search(); }
    // value with its backslashes turned into slashes, then without every
    // occurrence of the document base (which must not be empty).
    std::string StripDocumentBase(const std::string& value);

    // Work done by the tree for the parse, in the unit of bytes read.
    void CountWork(std::uint64_t steps) { mWork += steps; }

protected:
    ~CNodeContext() = default;

    CLogFile* mTrace = nullptr;
    std::uint64_t mWork = 0;

private:
    CTextDeleter mBase{std::string()};
};

}  // namespace kivoparse
