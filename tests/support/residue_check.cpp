#include "support/residue_check.h"

#include <algorithm>

#include "storage/byte_source.h"
#include "storage/compound_file.h"
#include "storage/compound_file_format.h"

namespace velmora::testing {

uint64_t BytesNothingHolds(const std::vector<uint8_t>& file) {
    storage::MemoryByteSource source(file);
    storage::CompoundFile compound(source);
    const storage::CompoundFileHeader& header = compound.header();
    const uint64_t sectorSize = compound.sectorSize();
    std::vector<bool> held(file.size(), false);
    auto hold = [&](uint64_t offset, uint64_t length) {
        for (uint64_t at = offset; at < std::min<uint64_t>(offset + length, file.size()); ++at) held[at] = true;
    };
    auto holdSector = [&](uint32_t sector) { hold(compound.sectorOffset(sector), sectorSize); };
    hold(0, sectorSize);  // the header's sector
    for (uint32_t i = 0; i < header.fatSectorCount; ++i) holdSector(compound.fatSectorLocation(i));
    for (uint32_t sector : compound.difatSectorLocations(header.difatSectorCount)) holdSector(sector);
    auto holdChain = [&](uint32_t start, uint64_t sectors) {
        for (uint32_t sector = start; sector != storage::kEndOfChain && sectors > 0; --sectors) {
            holdSector(sector);
            sector = compound.nextSector(sector);
        }
    };
    uint64_t directorySectors = 0;
    for (uint32_t sector = header.firstDirectorySector; sector != storage::kEndOfChain; sector = compound.nextSector(sector))
        ++directorySectors;
    holdChain(header.firstDirectorySector, directorySectors);
    holdChain(header.firstMiniFatSector, header.miniFatSectorCount);

    // Every stream of every directory entry, as the writer counts them.
    const uint64_t entries = directorySectors * sectorSize / storage::kDirectoryEntryLength;
    const std::vector<uint32_t>& miniStream = compound.rootEntry().streamSize ? compound.miniStream().chain()
                                                                             : std::vector<uint32_t>();
    for (uint32_t index = 1; index < entries; ++index) {
        const storage::DirectoryEntry entry = compound.directoryEntry(index);
        if (entry.type != storage::ObjectType::Stream || entry.streamSize == 0) continue;
        storage::StreamReader stream = compound.openStream(entry);
        const std::vector<uint32_t>& chain = stream.chain();
        const uint64_t unit = stream.inMiniStream() ? storage::kMiniSectorSize : sectorSize;
        for (size_t k = 0; k < chain.size(); ++k) {
            const uint64_t length = std::min<uint64_t>(unit, entry.streamSize - k * unit);
            if (!stream.inMiniStream()) {
                hold(compound.sectorOffset(chain[k]), length);
                continue;
            }
            const uint64_t inMini = uint64_t{chain[k]} * storage::kMiniSectorSize;
            hold(compound.sectorOffset(miniStream.at(inMini / sectorSize)) + inMini % sectorSize, length);
        }
    }
    uint64_t loose = 0;
    for (size_t at = 0; at < file.size(); ++at)
        if (!held[at] && file[at] != 0) ++loose;
    return loose;
}

}  // namespace velmora::testing
