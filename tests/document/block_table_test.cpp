/*
 * block_table_test - shared descriptor tables against a plain vector.
 *
 * Random splices, copies and in-place changes over tables long enough to
 * span many chunks; after each step every table must read, find and list
 * exactly what its vector holds, and a table that shares chunks with a
 * changed one must not see the change.
 */
#include "engine/document/document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Model = std::vector<KV_Block>;

KV_Block blockOf(int32_t length, int16_t file, int32_t tag) {
    KV_Block block{};
    block.length = static_cast<int16_t>(length);
    block.file = file;
    block.position = tag;
    return block;
}

void expectSame(const KV_Table &table, const Model &model) {
    ASSERT_EQ(table.count, static_cast<int32_t>(model.size()));
    Model spans;
    kvTableSpans(table, 0, table.count, [&spans](const KV_Block *blocks, int32_t count) {
        spans.insert(spans.end(), blocks, blocks + count);
        return true;
    });
    int64_t start = 0;
    for (size_t b = 0; b < model.size(); b++) {
        ASSERT_EQ(spans[b].position, model[b].position) << "span order at " << b;
        ASSERT_EQ(kvTableBlock(table, static_cast<int32_t>(b)).position, model[b].position);
        for (int64_t at : {start, start + model[b].length - 1}) {
            int64_t base = -1;
            ASSERT_EQ(kvTableFind(table, at, &base), static_cast<int32_t>(b)) << "position " << at;
            ASSERT_EQ(base, start);
        }
        start += model[b].length;
    }
    EXPECT_EQ(table.frames, start);
    int64_t base = -1;
    EXPECT_EQ(kvTableFind(table, start, &base), table.count);
    EXPECT_EQ(base, start);
}

/* Replaces [from, to) of `table` by `fresh`, as an edit splices. */
KV_Table splice(const KV_Table &table, int32_t from, int32_t to, const Model &fresh) {
    KV_TableBuilder builder;
    kvBuildRange(&builder, table, 0, from);
    kvBuildBlocks(&builder, fresh.data(), static_cast<int32_t>(fresh.size()));
    kvBuildRange(&builder, table, to, table.count);
    return kvBuildTable(&builder);
}

} // namespace

class BlockTableSplices : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BlockTableSplices, EveryTableReadsAsItsModelAndSharersDoNotSeeChanges) {
    std::mt19937 random(GetParam());
    auto pick = [&random](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(random);
    };
    int32_t tag = 0;
    auto freshBlocks = [&](int32_t count) {
        Model blocks;
        for (int32_t i = 0; i < count; i++)
            blocks.push_back(blockOf(pick(1, 4096), static_cast<int16_t>(pick(-1, 5)), tag++));
        return blocks;
    };
    Model model = freshBlocks(5000);
    KV_TableBuilder builder;
    kvBuildBlocks(&builder, model.data(), static_cast<int32_t>(model.size()));
    KV_Table table = kvBuildTable(&builder);
    for (int32_t step = 0; step < 40; step++) {
        int32_t count = static_cast<int32_t>(model.size());
        int32_t from = pick(0, count), to = std::min(count, from + pick(0, step % 3 ? 3 : 2000));
        Model fresh = freshBlocks(pick(0, step % 4 ? 2 : 1500));
        KV_Table next = splice(table, from, to, fresh);
        Model nextModel(model.begin(), model.begin() + from);
        nextModel.insert(nextModel.end(), fresh.begin(), fresh.end());
        nextModel.insert(nextModel.end(), model.begin() + to, model.end());
        if (!nextModel.empty() && step % 5 == 0) {
            int32_t at = pick(0, static_cast<int32_t>(nextModel.size()) - 1);
            kvTableMutable(&next, at)->position = nextModel[at].position = tag++;
        }
        ASSERT_NO_FATAL_FAILURE(expectSame(table, model)) << "the older table, step " << step;
        ASSERT_NO_FATAL_FAILURE(expectSame(next, nextModel)) << "step " << step;
        std::vector<int16_t> files;
        kvTableFiles(next, &files);
        for (const KV_Block &block : nextModel) {
            if (block.file >= 0) {
                ASSERT_NE(std::find(files.begin(), files.end(), block.file), files.end());
            }
        }
        kvTableRelease(&table);
        table = next;
        model = nextModel;
    }
    kvTableRelease(&table);
}

INSTANTIATE_TEST_SUITE_P(Seeds, BlockTableSplices, ::testing::Values(1u, 2u, 3u));
