#include "trel/protocol/snappy.hpp"

#include <snappy.h>

namespace trel::snappy {

std::string compress(std::string_view plain) {
  std::string out;
  ::snappy::Compress(plain.data(), plain.size(), &out);
  return out;
}

std::string_view decompress_into(std::string_view block, std::string& buf) {
  size_t length = 0;
  if (!::snappy::GetUncompressedLength(block.data(), block.size(), &length))
    throw Error("invalid snappy header: cannot read the uncompressed length");
  // The densest Snappy element is a 3-byte copy of 64 bytes, so no valid block
  // expands more than 22-fold; refuse a declared length beyond that unallocated.
  if (length / 22 > block.size())
    throw Error("uncompressed length " + std::to_string(length) + " is impossible for a block of " +
                std::to_string(block.size()) + " bytes");
  if (buf.size() < length) buf.resize(length);
  if (!::snappy::RawUncompress(block.data(), block.size(), buf.data()))
    throw Error("corrupt input: the block does not decode to its declared length");
  return std::string_view(buf).substr(0, length);
}

std::string decompress(std::string_view block) {
  std::string out;
  decompress_into(block, out);
  return out;
}

}  // namespace trel::snappy
