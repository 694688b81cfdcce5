#include "tests/support/ZipSamples.h"

#include <zlib.h>

#include <stdexcept>
#include <utility>

namespace {
void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::string Deflate(const std::string& plain) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string packed(deflateBound(&stream, static_cast<uLong>(plain.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    const int rc = deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    if (rc != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    return packed;
}

// The fields a local header and its central record share, from the version
// needed to the lengths of name and extra field.
std::string SharedFields(const ZipMember& member, std::uint32_t crc, std::uint32_t packedSize,
                         const std::string& name) {
    std::string fields;
    Put16(fields, 20);                                                    // version needed
    Put16(fields, 0);                                                     // flags
    Put16(fields, member.statedMethod.value_or(member.deflate ? 8 : 0));  // method
    Put16(fields, 0);                                                     // time
    Put16(fields, 0x21);                                                  // date: 1980-01-01
    Put32(fields, crc);
    Put32(fields, packedSize);
    Put32(fields, static_cast<std::uint32_t>(static_cast<std::int64_t>(member.bytes.size()) +
                                             member.statedSizeDelta));
    Put16(fields, static_cast<std::uint32_t>(name.size()));
    Put16(fields, 0);  // extra field
    return fields;
}

ZipSample Sample(std::string name, const std::vector<ZipMember>& members,
                 const ZipRecords& records = {}, std::string refusal = {}) {
    return {std::move(name), BuildZip(members, records), std::move(refusal), members.size()};
}

ZipRecords WithCount(std::uint16_t count) {
    ZipRecords records;
    records.count = count;
    return records;
}

ZipRecords WithComment(std::string comment, std::optional<std::uint16_t> length = {}) {
    ZipRecords records;
    records.comment = std::move(comment);
    records.commentLength = length;
    return records;
}

std::string Zeros(std::size_t count) {
    return std::string(count, '\0');
}

// 100,000 empty files, more than the end record's 16-bit count can say.
std::vector<ZipMember> ManyMembers() {
    std::vector<ZipMember> members;
    members.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        members.push_back({"f" + std::to_string(i), "", false});
    }
    return members;
}

// The spool files of a medium, 8 entries as the packer lays them out.
std::vector<ZipMember> SpoolMembers() {
    return {{"idcard.spl", "CH1\tTP\tENG\tMDES\t7\n"},
            {"idcomp.spl", "CH1\t1\tC1\n"},
            {"serial.spl", "CH1\tS1\tN1\n"},
            {"tun.spl", "CH1\tdata/tun.bin\n"},
            {"data/", "", false},
            {"data/tun.bin", std::string(3000, 't')},
            {"vs.spl", "C1\t2\tdata/vs.bin\n"},
            {"data/vs.bin", std::string(500, 'v')}};
}
}  // namespace

std::string BuildZip(const std::vector<ZipMember>& members, const ZipRecords& records) {
    std::string zip;
    std::string directory;
    for (const ZipMember& member : members) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(member.bytes.data()),
                  static_cast<uInt>(member.bytes.size())));
        const std::string data =
            (member.deflate ? Deflate(member.bytes) : member.bytes) + member.trailing;
        const auto packedSize = static_cast<std::uint32_t>(data.size());
        const auto offset = static_cast<std::uint32_t>(zip.size());
        const std::string localName = member.localName.value_or(member.name);
        Put32(zip, 0x04034b50);
        zip += SharedFields(member, crc, packedSize, localName);
        zip += localName;
        zip += data;

        Put32(directory, 0x02014b50);
        Put16(directory, 20);  // made by: version 2.0, a FAT host
        directory += SharedFields(member, crc, packedSize, member.name);
        Put16(directory, 0);  // comment length
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, member.name.back() == '/' ? 0x10 : 0);
        Put32(directory, offset);
        directory += member.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip += directory;
    const std::uint32_t count = records.count.value_or(members.size() & 0xFFFF);
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, count);
    Put16(zip, count);
    Put32(zip, static_cast<std::uint32_t>(directory.size()));
    Put32(zip, directoryOffset);
    Put16(zip, records.commentLength.value_or(records.comment.size()));
    zip += records.comment;
    return zip;
}

std::string PaddedImage() {
    std::string image(1 << 20, '\xFF');
    std::uint32_t state = 12346;
    for (std::size_t i = 0; i < 228693; ++i) {
        state = state * 1103515245U + 12345U;
        image[i] = static_cast<char>(state >> 16);
    }
    return image;
}

std::string TenMegabyteLine() {
    // 153 times 64 KiB and 8 bytes.
    return "CH1\t1\t" + std::string(153 * 65536 + 1, 'C') + "\n";
}

std::vector<ZipSample> GoodZipSamples(bool withLarge) {
    std::vector<ZipSample> samples = {
        Sample("zeros-65537.zip", {{"tun.bin", Zeros(65537)}}),
        Sample("zeros-65600.zip", {{"tun.bin", Zeros(65600)}}),
        Sample("zeros-131073.zip", {{"tun.bin", Zeros(131073)}}),
        Sample("stored-65537.zip", {{"tun.bin", Zeros(65537), false}}),
        Sample("padded-image.zip", {{"idcard.spl", "CH1\tT\tE\tM\t7\n"},
                                    {"tun.spl", "CH1\tdata/fw.bin\n"},
                                    {"data/fw.bin", PaddedImage()}}),
        Sample("spool.zip", SpoolMembers()),
        Sample("commented.zip", {{"idcard.spl", "CH1\tT\tE\tM\t7\n"}}, WithComment("medium 7")),
        Sample("empty.zip", {}),
    };
    if (withLarge) {
        samples.push_back(Sample("line-10mb.zip", {{"idcomp.spl", TenMegabyteLine()}}));
        samples.push_back(Sample("entries-100000.zip", ManyMembers()));
    }
    return samples;
}

std::vector<ZipSample> LyingZipSamples(bool withLarge) {
    const std::vector<ZipMember> spool = SpoolMembers();
    std::vector<ZipMember> nulName = spool;
    nulName[0].name = std::string("idcard.spl\0.txt", 15);
    std::vector<ZipMember> controlName = spool;
    controlName[0].name = "idcard.spl\n";
    std::vector<ZipMember> otherLocalName = spool;
    otherLocalName[6].localName = "vs.spx";
    std::vector<ZipMember> trailing = spool;
    trailing[5].trailing = "more";
    std::vector<ZipMember> longer = spool;
    longer[5].statedSizeDelta = 1;
    std::vector<ZipMember> storedShorter = spool;
    storedShorter[7].deflate = false;
    storedShorter[7].statedSizeDelta = -1;
    std::vector<ZipMember> otherMethod = spool;
    otherMethod[1].statedMethod = 12;
    std::vector<ZipMember> folderWithData = spool;
    folderWithData[4].bytes = "hidden";
    std::vector<ZipSample> samples = {
        Sample("count-7-of-8.zip", spool, WithCount(7), "entry count"),
        Sample("count-0-of-8.zip", spool, WithCount(0), "entry count"),
        Sample("count-9-of-8.zip", spool, WithCount(9), "entry count"),
        Sample("name-nul.zip", nulName, {}, "control character"),
        Sample("name-newline.zip", controlName, {}, "control character"),
        Sample("comment-past-end.zip", spool, WithComment("medium 7", 200), "not a zip archive"),
        Sample("empty-comment-past-end.zip", {}, WithComment("", 5), "not a zip archive"),
        Sample("comment-short.zip", spool, WithComment("medium 7", 3), "not a zip archive"),
        Sample("local-name.zip", otherLocalName, {}, "local header"),
        Sample("data-after-stream.zip", trailing, {}, "after the end of its compressed data"),
        Sample("method-12.zip", otherMethod, {}, "compression method 12"),
        Sample("folder-with-data.zip", folderWithData, {}, "folder entry with data"),
        Sample("size-longer.zip", longer, {}, "size"),
        Sample("stored-size.zip", storedShorter, {}, "size"),
    };
    if (withLarge) {
        samples.push_back(Sample("entries-100000-count-off.zip", ManyMembers(),
                                 WithCount((100000 & 0xFFFF) - 1), "entry count"));
    }
    return samples;
}
