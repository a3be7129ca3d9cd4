// The library's fixed-size data records. Their fields belong to the client programs; here they are
// blocks of the sizes those programs and their stored files expect.
#pragma once

#include <cstddef>

namespace qor {

template <std::size_t Size>
struct FixedRecord {
    unsigned char bytes[Size];
};

struct AtsHist : FixedRecord<64> {};
struct CommDevRecord : FixedRecord<1024> {};
struct DoorRecord : FixedRecord<512> {};
struct KanHist : FixedRecord<512> {};
struct KanProdRecord : FixedRecord<512> {};
struct KindOfId : FixedRecord<128> {};
struct LookupPersRecord : FixedRecord<1024> {};
struct PersRecord : FixedRecord<3584> {};
struct SwmHist : FixedRecord<256> {};
struct SwmProdRecord : FixedRecord<64> {};
struct SwmStRecord : FixedRecord<414> {};
struct VendLayout : FixedRecord<512> {};
struct VisitorAanmelding : FixedRecord<1024> {};
struct Movie : FixedRecord<3072> {};
struct TBlokAutoRecord : FixedRecord<6469> {};

}  // namespace qor
