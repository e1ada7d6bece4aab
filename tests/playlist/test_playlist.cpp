// The playlist object through its interface.
#include "playlist_test.h"

// ---- the object --------------------------------------------------------------------

// (The class factories and the library's unloading are the activation tests' part.)
TEST(PlaylistObject, InterfacesAndCounts)
{
    const LONG before = LibraryObjectCount();
    ComPtr<IHCYFWPlaylist> p = NewPlaylist();
    ComPtr<IUnknown> unknown;
    EXPECT_HR(E_POINTER, p->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_HR(S_OK, p.As(&unknown));
    EXPECT_EQ(static_cast<void *>(unknown.Get()), static_cast<void *>(p.Get()));
    EXPECT_EQ(LibraryObjectCount(), before + 2);
    for (const IID *refused : {&IID_IClassFactory, &IID_IHCYFramewheel, &IID_IMarshal}) {
        void *out = p.Get();
        EXPECT_HR(E_NOINTERFACE, p->QueryInterface(*refused, &out));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(p->AddRef(), 3u);
    EXPECT_EQ(p->Release(), 2u);
    p.Reset(), unknown.Reset();
    EXPECT_EQ(LibraryObjectCount(), before);
}

TEST(PlaylistObject, EmptyPlaylistRefusesEntryMethods)
{
    auto p = NewPlaylist();
    EXPECT_EQ(Count(p.Get()), 0);
    PlaylistPosition pos{0, 0};
    PlaybackItem item = DefaultPlaybackItem();
    for (HRESULT hr : {p->Next(), p->Previous(), p->First(), p->Remove(-1),
                       p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT), p->GetPosition(&pos),
                       p->SetCurrentItem(&item), p->GetCurrentItem(&item), p->Save(nullptr, FALSE)})
        EXPECT_HR(E_UNEXPECTED, hr);
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
}

TEST(PlaylistObject, NavigationInsertRemove)
{
    auto p = PlaylistOf({L"a", L"b", L"c"});
    EXPECT_EQ(State(p.Get()), L"a b [c]");
    EXPECT_HR(S_OK, p->Next()); // wraps to the first
    EXPECT_EQ(State(p.Get()), L"[a] b c");
    EXPECT_HR(S_OK, p->Previous()); // and back to the last
    EXPECT_EQ(State(p.Get()), L"a b [c]");

    // Appending (count + 5) and inserting before an index, an empty path too; the new
    // entry is current.
    const Entry e = Distinct(0, L"x");
    PlaybackItem item = In(e);
    const std::tuple<const wchar_t *, LONG, const wchar_t *> inserts[] = {
        {L"end", 3 + 5, L"a b c [end]"}, {L"front", 0, L"[front] a b c end"}, {nullptr, 2, L"front a [] b c end"}};
    for (auto [name, before, state] : inserts) {
        item.fileName = const_cast<WCHAR *>(name);
        EXPECT_HR(S_OK, p->Insert(&item, before));
        EXPECT_EQ(State(p.Get()), state);
    }

    EXPECT_HR(E_INVALIDARG, p->Remove(6));
    EXPECT_HR(E_INVALIDARG, p->Remove(-2));
    EXPECT_HR(S_OK, p->Remove(-1)); // the next entry takes the index
    EXPECT_EQ(State(p.Get()), L"front a [b] c end");
    EXPECT_HR(S_OK, p->Remove(0)); // before the current one: the index follows it
    EXPECT_EQ(State(p.Get()), L"a [b] c end");
    EXPECT_HR(S_OK, p->Remove(3)); // after it: nothing changes
    EXPECT_EQ(State(p.Get()), L"a [b] c");
    EXPECT_HR(S_OK, p->Next());
    EXPECT_HR(S_OK, p->Remove(2)); // the current last entry: the first becomes current
    EXPECT_EQ(State(p.Get()), L"[a] b");
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_HR(S_OK, p->Remove(-1));
    EXPECT_EQ(Count(p.Get()), 0);
}

TEST(PlaylistObject, SetPositionMovesAndStoresResults)
{
    auto p = PlaylistOf({L"a", L"b", L"c", L"d"});
    EXPECT_HR(S_OK, p->Previous());
    PlaylistPosition pos{0, E_FAIL};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    EXPECT_EQ(State(p.Get()), L"a b [c] d");
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    pos.playResult = S_OK;
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE)); // to index 0, its result along
    EXPECT_EQ(State(p.Get()), L"[c] a b d");
    EXPECT_EQ(Current(p.Get()).result, E_FAIL);
    for (LONG outside : {4, -1}) {
        pos.index = outside;
        EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE));
    }
    EXPECT_EQ(State(p.Get()), L"[c] a b d");

    // A later index: the entry lands exactly there, still current; both bits at once.
    EXPECT_HR(S_OK, p->Next());
    pos = {3, HRESULT(0x80070002)};
    EXPECT_HR(S_OK, p->SetPosition(&pos, POSITION_MOVE | POSITION_RESULT));
    EXPECT_EQ(State(p.Get()), L"c b d [a]");
    EXPECT_EQ(Current(p.Get()).result, HRESULT(0x80070002));
}

TEST(PlaylistObject, ItemFieldsByMask)
{
    const Entry base = Distinct(0, L"base"), other = Distinct(1, L"other");
    auto p = NewPlaylist();
    PlaybackItem item = In(base);
    item.validMask = 0; // Insert takes every field regardless (bit -1 below sees them)
    ASSERT_HR(S_OK, p->Insert(&item, -1));
    // Each bit replaces its own field group (byte ranges of PlaybackItem) and no other;
    // bits beyond the 18 are ignored. The path (bit 0x10) is compared separately.
#define GROUP(first, size) {offsetof(PlaybackItem, first), size}
    std::vector<std::pair<size_t, size_t>> groups = {
        GROUP(xPosition, 16), GROUP(bounceStep, 16), GROUP(windowLeft, 16), GROUP(position, 8),
        GROUP(fileName, 0),   GROUP(parentWindow, 4), GROUP(loops, 4),    GROUP(volume, 4),
        GROUP(style, 4),      GROUP(scale, 4),      GROUP(rate, 4)};
    for (size_t flag = 0; flag < 7; ++flag)
        groups.push_back({offsetof(PlaybackItem, scaleToScreen) + flag, 1});
    for (int bit = -1; bit < 18; ++bit) {
        item = In(base);
        if (bit >= 0) {
            ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        }
        item = In(other);
        item.validMask = bit < 0 ? 0 : (1u << bit) | 0xfffc0000u;
        ASSERT_HR(S_OK, p->SetCurrentItem(&item));
        Entry expected = Taken(base, false);
        const Entry source = Taken(other);
        if (bit >= 0)
            std::memcpy(reinterpret_cast<BYTE *>(&expected.item) + groups[bit].first,
                        reinterpret_cast<const BYTE *>(&source.item) + groups[bit].first, groups[bit].second);
        expected.path = bit == 4 ? other.path : base.path;
        EXPECT_EQ(Record(Current(p.Get())), Record(expected)) << "mask bit " << bit;
    }
    // The play result is no part of the item; a null name with bit 0x10 empties the path.
    PlaylistPosition pos{0, E_ACCESSDENIED};
    ASSERT_HR(S_OK, p->SetPosition(&pos, POSITION_RESULT));
    item.validMask = ITEM_ALL;
    item.fileName = nullptr;
    ASSERT_HR(S_OK, p->SetCurrentItem(&item));
    const Entry now = Current(p.Get());
    EXPECT_EQ(now.result, E_ACCESSDENIED);
    EXPECT_EQ(now.path, L"");
}
