#include "Rellum/View/RellumStorageLineIndex.h"

#include "Rellum/RellumTextStorage.h"

RellumStorageLineIndex::EditOutcome RellumStorageLineIndex::applyEdit(const RellumTextStorage& storage,
                                                                      RellumRange, int64_t) {
    storage_ = &storage;
    const RellumTextStorage::FrontDrop drop = storage.frontDrop();
    if (drop.dropped == 0) return {};
    return {drop.dropped, drop.unchangedEnd};
}

uint64_t RellumStorageLineIndex::lineCount() const {
    return storage_ ? storage_->lineCount() : 1;
}

RellumRange RellumStorageLineIndex::lineRange(uint64_t line) const {
    return storage_ ? storage_->lineRange(line) : RellumRange{0, 0};
}

uint64_t RellumStorageLineIndex::lineOfOffset(uint64_t offset) const {
    return storage_ ? storage_->lineOfOffset(offset) : 0;
}

uint64_t RellumStorageLineIndex::length() const {
    return storage_ ? storage_->length() : 0;
}
