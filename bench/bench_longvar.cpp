// Long data through a LongBuffer against plain stdio on the same unnamed
// temporary file: a 64 MiB value written and read back in 64 KiB pieces.
// The baselines (fwrite, fread) and the library calls share one file, so
// the ratio of their times is the cost the library adds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <kvsupp.h>

namespace {

constexpr int32_t kPiece = 64 * 1024;
constexpr int32_t kTotal = 64 * 1024 * 1024;

struct Shared {
    MemHandle *handle = kv_mem_alloc_handle(nullptr);
    LongBuffer *buffer = allocate_long_buffer(handle, 0, 0, nullptr, SQL_LONGVARBINARY);
    std::vector<char> piece = std::vector<char>(kPiece);

    Shared()
    {
        for (int32_t i = 0; i < kPiece; i++)
            piece[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 26);
        fill();
    }
    // Makes the buffer hold exactly kTotal bytes, positioned at the start.
    void fill()
    {
        rewind_long_buffer(buffer);
        buffer->length = 0;
        for (int32_t at = 0; at < kTotal; at += kPiece)
            append_to_long_buffer(buffer, piece.data(), kPiece);
        std::fflush(buffer->file);
    }
};

Shared &shared()
{
    static Shared instance;
    return instance;
}

void BM_WriteFwrite(benchmark::State &state)
{
    Shared &s = shared();
    for (auto _ : state) {
        file_seek(s.buffer->file, 0);
        for (int32_t at = 0; at < kTotal; at += kPiece)
            std::fwrite(s.piece.data(), 1, kPiece, s.buffer->file);
        std::fflush(s.buffer->file);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

void BM_WriteAppend(benchmark::State &state)
{
    Shared &s = shared();
    for (auto _ : state) {
        rewind_long_buffer(s.buffer);
        s.buffer->length = 0;
        for (int32_t at = 0; at < kTotal; at += kPiece) {
            if (append_to_long_buffer(s.buffer, s.piece.data(), kPiece) != 0)
                state.SkipWithError("append failed");
        }
        std::fflush(s.buffer->file);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

// Pieces of state.range(0) bytes: 64 KiB, and 64 KiB less one, the most a
// character extract into a 64 KiB buffer delivers.
void BM_ReadFread(benchmark::State &state)
{
    Shared &s = shared();
    auto piece = static_cast<std::size_t>(state.range(0));
    std::vector<char> destination(piece);
    for (auto _ : state) {
        file_seek(s.buffer->file, 0);
        while (std::fread(destination.data(), 1, piece, s.buffer->file) == piece)
            benchmark::DoNotOptimize(destination.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

// `binary` 1 reads 64 KiB pieces; 0 reads character pieces of 64 KiB less
// the terminator, as SQLGetData would into a 64 KiB buffer.
void BM_ReadExtract(benchmark::State &state)
{
    Shared &s = shared();
    int binary = static_cast<int>(state.range(0));
    std::vector<char> destination(kPiece);
    for (auto _ : state) {
        rewind_long_buffer(s.buffer);
        int32_t length = 0;
        int rc;
        while ((rc = extract_from_long_buffer(s.buffer, destination.data(), kPiece, &length, binary)) == 1)
            benchmark::DoNotOptimize(destination.data());
        if (rc != 0)
            state.SkipWithError("extract failed");
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kTotal});
}

BENCHMARK(BM_WriteFwrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFread)->Arg(kPiece)->Arg(kPiece - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadExtract)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
