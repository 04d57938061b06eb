#include "storage/compound_file.h"

#include <algorithm>
#include <string>

#include "storage/little_endian.h"
#include "storage/storage_error.h"

namespace velmora::storage {

namespace {

// Enough for the header and the first sectors of most documents.
constexpr uint64_t kPrefixLength = 8192;

}  // namespace

CompoundFile::CompoundFile(ByteSource& source) : source_(source) {
    if (source_.size() < kHeaderLength) {
        // Too short for a header: tell "not ours" from "cut short" by the signature.
        std::vector<uint8_t> start(std::min<uint64_t>(source_.size(), kSignature.size()));
        source_.readAt(0, start);
        if (start.size() == kSignature.size() && std::equal(start.begin(), start.end(), kSignature.begin()))
            ThrowDamaged("the file ends inside its header (" + std::to_string(source_.size()) + " bytes)");
        throw StorageError(StorageResult::InvalidHeader, Refusal::NotCompoundFile,
                           "The file is not an Office document of the legacy format (too short)");
    }
    prefix_.resize(static_cast<size_t>(std::min<uint64_t>(source_.size(), kPrefixLength)));
    source_.readAt(0, prefix_);
    header_ = CompoundFileHeader::ReadFrom(std::span(prefix_).first(kHeaderLength));
    uint64_t size = source_.size();
    uint64_t sectors = size > header_.sectorSize ? (size - header_.sectorSize + header_.sectorSize - 1) / header_.sectorSize : 0;
    sectorCount_ = static_cast<uint32_t>(std::min<uint64_t>(sectors, uint64_t{kMaxRegularSector} + 1));
    tables_.emplace(header_, sectorCount_, [this](uint32_t sector) { return readSector(sector); });
}

CompoundFile::~CompoundFile() = default;

void CompoundFile::readBytes(uint64_t offset, std::span<uint8_t> out) {
    // What the opening read already is not read again.
    if (offset < prefix_.size()) {
        const size_t held = static_cast<size_t>(std::min<uint64_t>(out.size(), prefix_.size() - offset));
        std::copy_n(prefix_.begin() + static_cast<std::ptrdiff_t>(offset), held, out.begin());
        offset += held;
        out = out.subspan(held);
    }
    if (!out.empty()) source_.readAt(offset, out);
}

std::vector<uint8_t> CompoundFile::readSector(uint32_t sector) {
    tables_->checkSector(sector, "a chain");
    std::vector<uint8_t> bytes(header_.sectorSize, 0);
    uint64_t offset = sectorOffset(sector);
    if (offset + header_.sectorSize <= prefix_.size()) {
        std::copy_n(prefix_.begin() + static_cast<std::ptrdiff_t>(offset), header_.sectorSize, bytes.begin());
        return bytes;
    }
    // A last sector cut short by a careless writer is read as far as it goes.
    uint64_t available = std::min<uint64_t>(header_.sectorSize, source_.size() - offset);
    source_.readAt(offset, std::span(bytes).first(static_cast<size_t>(available)));
    return bytes;
}

uint32_t CompoundFile::directorySectorLocation(uint32_t directorySectorIndex) {
    if (!directoryChain_) directoryChain_.emplace(ChainWalk::Sectors(*tables_, header_.firstDirectorySector, UINT64_MAX, nullptr, "the directory"));
    const std::optional<uint32_t> location = directoryChain_->at(directorySectorIndex);
    if (!location)
        ThrowDamaged("directory entry " + std::to_string(uint64_t{directorySectorIndex} * (header_.sectorSize / kDirectoryEntryLength)) +
                     " lies beyond the directory");
    return *location;
}

DirectoryEntry CompoundFile::directoryEntry(uint32_t index) {
    if (index > kMaxRegularSector) ThrowDamaged("directory link " + HexWord(index) + " is not an entry");
    const uint32_t perSector = header_.sectorSize / static_cast<uint32_t>(kDirectoryEntryLength);
    uint32_t sectorIndex = index / perSector;
    auto found = directoryCache_.find(sectorIndex);
    if (found == directoryCache_.end())
        found = directoryCache_.emplace(sectorIndex, readSector(directorySectorLocation(sectorIndex))).first;
    return DirectoryEntry::ReadFrom(std::span(found->second).subspan((index % perSector) * kDirectoryEntryLength, kDirectoryEntryLength),
                                    index, header_.majorVersion);
}

const DirectoryEntry& CompoundFile::rootEntry() {
    if (!root_) {
        DirectoryEntry root = directoryEntry(0);
        if (root.type != ObjectType::Root) ThrowDamaged("the first directory entry is not the root storage");
        root_ = root;
    }
    return *root_;
}

const std::vector<DirectoryEntry>& CompoundFile::rootChildren() {
    if (!rootChildren_)
        rootChildren_ = WalkChildTree(rootEntry().child, [this](uint32_t index) { return directoryEntry(index); });
    return *rootChildren_;
}

std::vector<DirectoryEntry> CompoundFile::childrenOf(const DirectoryEntry& storage) {
    if (storage.index == rootEntry().index) return rootChildren();
    if (storage.type != ObjectType::Storage) ThrowDamaged("entry " + std::to_string(storage.index) + " is not a storage");
    return WalkChildTree(storage.child, [this](uint32_t index) { return directoryEntry(index); });
}

std::optional<DirectoryEntry> CompoundFile::findInRoot(std::u16string_view name) {
    if (const DirectoryEntry* found = FindChildByName(rootChildren(), name)) return *found;
    return std::nullopt;
}

StreamReader& CompoundFile::miniStream() {
    if (!miniStream_) miniStream_ = std::make_unique<StreamReader>(*this, rootEntry(), false);
    return *miniStream_;
}

StreamReader CompoundFile::openStream(const DirectoryEntry& entry) {
    if (entry.type != ObjectType::Stream) ThrowDamaged("entry " + std::to_string(entry.index) + " is not a stream");
    return StreamReader(*this, entry, entry.streamSize < kMiniStreamCutoff);
}

StreamReader::StreamReader(CompoundFile& file, const DirectoryEntry& entry, bool inMiniStream)
    : file_(file),
      startSector_(entry.startSector),
      size_(entry.streamSize),
      inMiniStream_(inMiniStream),
      unitSize_(inMiniStream ? kMiniSectorSize : file.sectorSize()) {
    uint64_t capacity = static_cast<uint64_t>(file.sectorCount()) * file.sectorSize();
    if (size_ > capacity)
        ThrowDamaged("stream " + std::to_string(entry.index) + " claims " + std::to_string(size_) +
                     " bytes, more than the file holds (" + std::to_string(capacity) + ")");
}

// Made when first needed: a small stream's walk needs the mini stream's
// size, which an empty stream never asks for.
ChainWalk& StreamReader::walk() {
    if (!chain_) {
        const uint64_t units = CeilDivide(size_, unitSize_);
        chain_.emplace(inMiniStream_ ? ChainWalk::MiniSectors(file_.tables(), startSector_, units,
                                                              CeilDivide(file_.miniStream().size(), kMiniSectorSize), nullptr,
                                                              "a small stream")
                                     : ChainWalk::Sectors(file_.tables(), startSector_, units, nullptr, "a stream"));
    }
    return *chain_;
}

uint32_t StreamReader::chainSector(uint64_t chainIndex) {
    const std::optional<uint32_t> unit = walk().at(chainIndex);
    if (!unit)
        ThrowDamaged("a stream of " + std::to_string(size_) + " bytes has a chain of only " + std::to_string(walk().all().size()) +
                     " sectors");
    return *unit;
}

const std::vector<uint32_t>& StreamReader::chain() {
    const std::vector<uint32_t>& units = walk().all();
    if (units.size() < CeilDivide(size_, unitSize_))
        ThrowDamaged("a stream of " + std::to_string(size_) + " bytes has a chain of only " + std::to_string(units.size()) +
                     " sectors");
    return units;
}

void StreamReader::readRegular(uint64_t offset, std::span<uint8_t> out) {
    const uint32_t sectorSize = unitSize_;
    size_t done = 0;
    while (done < out.size()) {
        uint64_t position = offset + done;
        uint64_t index = position / sectorSize;
        uint32_t within = static_cast<uint32_t>(position % sectorSize);
        size_t remaining = out.size() - done;
        uint32_t sector = chainSector(index);
        if (remaining < sectorSize) {
            // Small reads (property values) go through a per-sector cache.
            auto found = sectorCache_.find(sector);
            if (found == sectorCache_.end()) found = sectorCache_.emplace(sector, file_.readSector(sector)).first;
            size_t take = std::min<size_t>(remaining, sectorSize - within);
            std::copy_n(found->second.begin() + within, take, out.begin() + static_cast<std::ptrdiff_t>(done));
            done += take;
            continue;
        }
        // Large reads: coalesce runs of consecutive sectors into one read.
        uint64_t runBytes = sectorSize - within;
        uint64_t nextIndex = index + 1;
        while (runBytes < remaining && (nextIndex * sectorSize) < size_ && chainSector(nextIndex) == sector + (nextIndex - index)) {
            runBytes += sectorSize;
            ++nextIndex;
        }
        size_t take = static_cast<size_t>(std::min<uint64_t>(runBytes, remaining));
        uint64_t physical = file_.sectorOffset(sector) + within;
        uint64_t available = file_.source().size() > physical ? file_.source().size() - physical : 0;
        size_t present = static_cast<size_t>(std::min<uint64_t>(take, available));
        file_.readBytes(physical, out.subspan(done, present));
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(done + present), out.begin() + static_cast<std::ptrdiff_t>(done + take), 0);
        done += take;
    }
}

void StreamReader::read(uint64_t offset, std::span<uint8_t> out) {
    if (offset > size_ || size_ - offset < out.size())
        ThrowDamaged("read of " + std::to_string(out.size()) + " bytes at offset " + std::to_string(offset) +
                     " of a stream of " + std::to_string(size_) + " bytes");
    if (out.empty()) return;
    if (!inMiniStream_) {
        readRegular(offset, out);
        return;
    }
    if (!miniLoaded_) {
        miniBytes_.resize(static_cast<size_t>(size_));
        for (uint64_t done = 0; done < size_; done += kMiniSectorSize) {
            uint32_t miniSector = chainSector(done / kMiniSectorSize);
            size_t take = static_cast<size_t>(std::min<uint64_t>(kMiniSectorSize, size_ - done));
            file_.miniStream().read(uint64_t{miniSector} * kMiniSectorSize,
                                    std::span(miniBytes_).subspan(static_cast<size_t>(done), take));
        }
        miniLoaded_ = true;
    }
    std::copy_n(miniBytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
}

std::vector<uint8_t> StreamReader::readAll() {
    std::vector<uint8_t> bytes(static_cast<size_t>(size_));
    read(0, bytes);
    return bytes;
}

}  // namespace velmora::storage
