#pragma once

// The catalogue's tables as they are written down; parcatalogue.cpp turns
// them into groups of entries and the bit description map.
namespace ParCatalogue {
namespace Data {

struct EntryRow
{
    int number;
    const char *key;
    const char *text; // the title after the parameter number
};

struct GroupTable
{
    const char *name;
    const EntryRow *rows;
    int count;
};

// Up to eight texts; the list ends at the first null pointer, so "" is a bit
// without a meaning while a missing text is no bit at all.
struct BitList
{
    const char *key;
    const char *texts[8];
};

const GroupTable *groupTables(int *count);
const BitList *bitLists(int *count);

} // namespace Data
} // namespace ParCatalogue
