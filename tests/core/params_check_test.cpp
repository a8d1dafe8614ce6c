/*
 * Stored records checked at start: a damaged KV_Params or KV_Options comes
 * back inside the ranges of the program's dialogs, so that every effect then
 * runs to its end on it, and a record the program wrote comes back whole.
 */
#include "engine/core/engine.h"
#include "tests/support/document_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

/* Every int32 field of a record at value(i), i counting the fields. */
template <typename Record, typename Pattern> Record kvFilled(Pattern value) {
    Record record;
    int32_t fields[sizeof(Record) / sizeof(int32_t)];
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; i++)
        fields[i] = value(i);
    std::memcpy(&record, fields, sizeof record);
    return record;
}

struct KvExtremes {
    const char *name;
    int32_t (*value)(size_t field);
};

const KvExtremes kExtremes[] = {
    {"all highest", [](size_t) { return INT32_MAX; }},
    {"all lowest", [](size_t) { return INT32_MIN; }},
    {"alternating", [](size_t i) { return i % 2 ? INT32_MIN : INT32_MAX; }},
    {"alternating the other way", [](size_t i) { return i % 2 ? INT32_MAX : INT32_MIN; }},
    {"all zero", [](size_t) { return 0; }},
    {"all minus one", [](size_t) { return -1; }},
};

} // namespace

class StoredRecordCheck : public DocumentTest {
  protected:
    void SetUp() override {
        KvSandbox::SetUp();
        kvTestTakeShownBoxes();
    }
    /* Stores the records and starts the engine on them; the restored
     * records are then `options` and `params`. */
    void startOn(const KV_Options &storedOptions, const KV_Params &storedParams) {
        ASSERT_EQ(kvSetReg("Settings", "Options", &storedOptions, 144), 0);
        ASSERT_EQ(kvSetReg("Settings", "Parameters", &storedParams, 344), 0);
        ASSERT_EQ(startEngine(), 0);
    }
    /* A small stereo document at the lowest rate a file can have, filled
     * with a wave that every effect changes. */
    static int32_t smallDocument() {
        std::vector<float> left(6000), right(6000);
        for (size_t i = 0; i < left.size(); i++) {
            left[i] = static_cast<float>(0.6 * std::sin(i * 0.07));
            right[i] = static_cast<float>(0.4 * std::sin(i * 0.31));
        }
        return makeDocument(4000, left, right);
    }
};

/* Each field against the range the engine tells the dialogs, and the fields
 * whose bounds depend on others against those. */
static void expectParamsInRange(const KV_Params &p) {
    auto within = [](int32_t value, int32_t lowest, int32_t highest) {
        return value >= lowest && value <= highest;
    };
    int32_t fields[sizeof p / sizeof(int32_t)];
    std::memcpy(fields, &p, sizeof fields);
    int ranged = 0;
    for (size_t i = 0; i < std::size(fields); i++) {
        KV_ParamRange range{};
        if (kvGetParamRange(static_cast<int32_t>(i * sizeof(int32_t)), &range) != 0) continue;
        ranged++;
        EXPECT_TRUE(within(fields[i], range.lowest, range.highest)) << "field at " << i * 4;
    }
    EXPECT_GT(ranged, 60) << "the range table answers for the dialogs' fields";
    EXPECT_TRUE(within(p.silenceAmount, 0, 999999));
    EXPECT_TRUE(within(p.compRatio, 1, 100));
    const int64_t unitMs[3] = {1, 1000, 60000};
    EXPECT_GE(p.toneLength, 1);
    if (within(p.toneLengthUnit, 0, 2)) {
        EXPECT_LE(p.toneLength * unitMs[p.toneLengthUnit], KV_LONGEST_TONE_MS);
    }
    const bool knownFormat =
        (p.newFormat == 1 && (p.newBitsPerSample == 8 || p.newBitsPerSample == 16 ||
                              p.newBitsPerSample == 24 || p.newBitsPerSample == 32)) ||
        (p.newFormat == 3 && (p.newBitsPerSample == 32 || p.newBitsPerSample == 64));
    EXPECT_TRUE(knownFormat);
}

TEST(ParamRangeTable, AnswersForEveryElementOfAnArrayAndRefusesWhatIsNoField) {
    KV_ParamRange first{}, fourth{}, unused{};
    ASSERT_EQ(kvGetParamRange(offsetof(KV_Params, eqBandDb), &first), 0);
    ASSERT_EQ(kvGetParamRange(offsetof(KV_Params, eqBandDb) + 3 * sizeof(int32_t), &fourth), 0);
    EXPECT_EQ(first.lowest, fourth.lowest);
    EXPECT_EQ(first.highest, fourth.highest);
    EXPECT_LT(first.lowest, first.highest);
    const int32_t refused[] = {-4, static_cast<int32_t>(offsetof(KV_Params, volumeDb) + 1),
                               static_cast<int32_t>(offsetof(KV_Params, compRatio)),
                               static_cast<int32_t>(sizeof(KV_Params))};
    for (int32_t offset : refused)
        EXPECT_EQ(kvGetParamRange(offset, &unused), -1) << offset;
    EXPECT_EQ(kvGetParamRange(offsetof(KV_Params, volumeDb), nullptr), -1);
}

static void expectOptionsInRange(const KV_Options &o) {
    EXPECT_TRUE(o.fftSize == 256 || o.fftSize == 512 || o.fftSize == 1024 || o.fftSize == 2048 ||
                o.fftSize == 4096 || o.fftSize == 8192);
    EXPECT_TRUE(o.fftOverlap == 4 || o.fftOverlap == 8 || o.fftOverlap == 16 || o.fftOverlap == 32);
    EXPECT_TRUE(o.fftWindow >= 0 && o.fftWindow <= 5);
    EXPECT_TRUE(o.extendEffect == 0 || o.extendEffect == 1);
    EXPECT_TRUE(o.extendAmount >= 1 && o.extendAmount <= 10);
}

TEST_F(StoredRecordCheck, ExtremeRecordsComeBackInsideEveryRange) {
    for (const KvExtremes &extreme : kExtremes) {
        SCOPED_TRACE(extreme.name);
        KV_Options storedOptions = kvFilled<KV_Options>(extreme.value);
        storedOptions.tempDrive = 0;
        startOn(storedOptions, kvFilled<KV_Params>(extreme.value));
        expectParamsInRange(params);
        expectOptionsInRange(options);
        stopEngine();
    }
}

TEST_F(StoredRecordCheck, ARatioOutsideItsRangeStaysInfinite) {
    KV_Params stored = params;
    for (int32_t ratio : {0, -5, 101, INT32_MAX, INT32_MIN}) {
        stored.compRatio = ratio;
        kvClampParams(&stored);
        EXPECT_EQ(stored.compRatio, 100) << ratio;
    }
}

TEST_F(StoredRecordCheck, AFieldOutOfRangeMovesOnlyToItsNearestBound) {
    KV_Params stored = params;
    stored.volumeDb = 300;
    stored.echoLeftDelayMs = 0;
    stored.toneLength = 90;
    stored.toneLengthUnit = 2;
    stored.newSampleRate = 0;
    startOn(options, stored);
    EXPECT_EQ(params.volumeDb, 48);
    EXPECT_EQ(params.echoLeftDelayMs, 10);
    EXPECT_EQ(params.toneLength, 60);
    EXPECT_EQ(params.toneLengthUnit, 2);
    EXPECT_EQ(params.newSampleRate, 4000);
    KV_Params expected = stored;
    expected.volumeDb = 48;
    expected.echoLeftDelayMs = 10;
    expected.toneLength = 60;
    expected.newSampleRate = 4000;
    EXPECT_EQ(std::memcmp(&params, &expected, sizeof params), 0);
}

TEST_F(StoredRecordCheck, RecordsTheProgramWritesAreKeptByteForByte) {
    params.newBitsPerSample = 24; /* the sixth new-file format */
    params.newFormat = 1;
    KV_Params defaults = params;
    KV_Options defaultOptions = options;
    ASSERT_EQ(startEngine(), 0);
    EXPECT_EQ(std::memcmp(&params, &defaults, sizeof params), 0);
    EXPECT_EQ(std::memcmp(&options, &defaultOptions, sizeof options), 0);
    stopEngine();

    /* The records mended from the extremes hold every field at a bound of
     * its range; stored again, they come back unchanged. */
    for (const KvExtremes &extreme : kExtremes) {
        SCOPED_TRACE(extreme.name);
        KV_Params mended = kvFilled<KV_Params>(extreme.value);
        KV_Options mendedOptions = kvFilled<KV_Options>(extreme.value);
        mendedOptions.tempDrive = 0;
        kvClampParams(&mended);
        kvClampOptions(&mendedOptions);
        startOn(mendedOptions, mended);
        EXPECT_EQ(std::memcmp(&params, &mended, sizeof params), 0);
        EXPECT_EQ(std::memcmp(&options, &mendedOptions, sizeof options), 0);
        stopEngine();
    }
}

TEST_F(StoredRecordCheck, EveryEffectRunsToItsEndOnAMendedExtremeRecord) {
    for (const KvExtremes &extreme : kExtremes) {
        SCOPED_TRACE(extreme.name);
        KV_Options storedOptions = kvFilled<KV_Options>(extreme.value);
        storedOptions.tempDrive = 0;
        startOn(storedOptions, kvFilled<KV_Params>(extreme.value));
        int32_t doc = smallDocument();
        kvSetSelection(doc, 1000, 3000, -1);
        ASSERT_EQ(kvCopy(doc), 0);
        for (int32_t edit = KV_EDIT_VOLUME; edit <= KV_EDIT_PITCH; edit++) {
            if (edit == KV_EDIT_LOW_PASS) continue; /* named, but no edit runs under it */
            SCOPED_TRACE(edit);
            kvSetSelection(doc, 500, 2500, -1);
            int32_t before = kvGetLength(doc);
            EXPECT_EQ(kvDoEdit(doc, edit), 0);
            if (edit == KV_EDIT_TONE) {
                const int64_t unitMs[3] = {1, 1000, 60000};
                EXPECT_EQ(kvGetLength(doc) - before,
                          params.toneLength * unitMs[params.toneLengthUnit] * 4000 / 1000);
            }
            EXPECT_TRUE(kvTestTakeShownBoxes().empty());
            /* The edited range and the echo tails after it. */
            std::vector<float> head(std::min(kvGetLength(doc), 60000));
            kvReadFrames(doc, 0, 0, static_cast<int32_t>(head.size()), head.data());
            for (float sample : head)
                ASSERT_TRUE(std::isfinite(sample));
        }
        EXPECT_EQ(kvInsertSilence(doc), 0);
        EXPECT_TRUE(kvTestTakeShownBoxes().empty());
        kvClose(doc);
        stopEngine();
    }
}

TEST_F(StoredRecordCheck, LoudnessAndNoiseEditsRunOnAMendedExtremeRepairRecord) {
    std::vector<float> wave(16000);
    for (size_t i = 0; i < wave.size(); i++)
        wave[i] = static_cast<float>(0.5 * std::sin(i * 0.07) + 0.05 * std::sin(i * 1.3));
    for (const KvExtremes &extreme : kExtremes) {
        SCOPED_TRACE(extreme.name);
        KV_RepairParams stored = kvFilled<KV_RepairParams>(extreme.value), repair{};
        ASSERT_EQ(kvSetReg("Settings", "Repair", &stored, sizeof stored), 0);
        ASSERT_EQ(startEngine(), 0);
        ASSERT_EQ(kvSetRepairParams(&repair, sizeof repair), 0);
        int32_t doc = makeDocument(4000, wave);
        kvSetSelection(doc, 0, 16000, -1);
        ASSERT_EQ(kvTakeNoiseProfile(doc), 0);
        for (int32_t edit : {KV_EDIT_LOUDNESS_NORMALIZE, KV_EDIT_NOISE_REDUCTION}) {
            SCOPED_TRACE(edit);
            kvSetSelection(doc, 1000, 15000, -1);
            EXPECT_EQ(kvDoEdit(doc, edit), 0);
            for (float sample : channel(doc, 0))
                ASSERT_TRUE(std::isfinite(sample) && std::fabs(sample) <= 1.0f);
        }
        EXPECT_TRUE(kvTestTakeShownBoxes().empty());
        kvClose(doc);
        stopEngine();
    }
}
