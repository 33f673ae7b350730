// The vector conversion, written once for a register type V: Sse2Lanes (one 128-bit lane of
// four pixels) and Avx2Lanes (two lanes). Every step works within a 128-bit lane; V's Fix...
// functions put the bytes of several lanes back into pixel order before they are stored.
// Included by one file per instruction set, inside that file's unnamed namespace, so that no
// function compiled for AVX2 can be shared with code that runs without it.
//
// Per pixel, a 32-bit lane holds blue and red as 16-bit halves (br) and green and alpha (ga);
// one multiply-add of each against a coefficient pair gives the sums of the formula.

template <class V>
struct TKernels {
  using R = typename V::Reg;
  static constexpr int kPixels = V::kPixels;  // pixels per register

  static void Split(R p, R& br, R& ga) {
    br = V::And(p, V::Set16(0x00FF));
    ga = V::Srli16(p, 8);
  }

  // Y of each pixel in its 32-bit lane.
  static R Luma32(R br, R ga) {
    const R sum = V::Add32(V::Add32(V::Madd(br, V::Pair16(25, 66)), V::Madd(ga, V::Pair16(129, 0))),
                           V::Set32(128 + (16 << 8)));
    return V::Srli32(sum, 8);
  }

  // The pair sums of a register (both pixels of each pair added) in dwords 0 and 2 of each
  // lane, gathered from two registers a and b into one: a's two pairs, then b's.
  static R PairSums(R a, R b) {
    a = V::Add16(a, V::Srli64(a, 32));
    b = V::Add16(b, V::Srli64(b, 32));
    return V::Unpacklo64(V::Shuffle02(a), V::Shuffle02(b));
  }

  // The chroma of the pixel pairs of two registers, from channel sums of n = 2^shift pixels
  // per pair (two registers of one row, or of two rows already added): 16-bit U V pairs in the
  // order Packs32 of the two registers would give. The + 128 of both formulas is folded into
  // the rounding term, which adding a multiple of 2^(8 + shift) before the shift allows.
  template <int shift>
  static R ChromaPairs(R brA, R gaA, R brB, R gaB) {
    const R br = PairSums(brA, brB), ga = PairSums(gaA, gaB);
    const R round = V::Set32((128 << shift) + (128 << (8 + shift)));
    const R u = V::Srai32(V::Add32(V::Add32(V::Madd(br, V::Pair16(112, -38)), V::Madd(ga, V::Pair16(-74, 0))), round),
                          8 + shift);
    const R v = V::Srai32(V::Add32(V::Add32(V::Madd(br, V::Pair16(-18, 112)), V::Madd(ga, V::Pair16(-94, 0))), round),
                          8 + shift);
    return V::Packs32(V::Unpacklo32(u, v), V::Unpackhi32(u, v));
  }

  // 2 x kPixels pixels of one row into YUY2.
  static void Yuy2Block(const std::uint8_t* src, std::uint8_t* dst) {
    R br0, ga0, br1, ga1;
    Split(V::Load(src), br0, ga0);
    Split(V::Load(src + 4 * kPixels), br1, ga1);
    const R y = V::Packs32(Luma32(br0, ga0), Luma32(br1, ga1));
    const R uv = ChromaPairs<1>(br0, ga0, br1, ga1);
    V::Store(dst, V::FixQwords(V::Packus16(V::Unpacklo16(y, uv), V::Unpackhi16(y, uv))));
  }

  // 4 x kPixels pixels of two rows: both luma rows, and the interleaved chroma pairs.
  static R Block420(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1) {
    R l0[4], l1[4], br[4], ga[4];
    for (int k = 0; k < 4; ++k) {
      R br0, ga0, br1, ga1;
      Split(V::Load(src0 + 4 * kPixels * k), br0, ga0);
      Split(V::Load(src1 + 4 * kPixels * k), br1, ga1);
      l0[k] = Luma32(br0, ga0);
      l1[k] = Luma32(br1, ga1);
      br[k] = V::Add16(br0, br1);
      ga[k] = V::Add16(ga0, ga1);
    }
    V::Store(y0, V::FixDwords(V::Packus16(V::Packs32(l0[0], l0[1]), V::Packs32(l0[2], l0[3]))));
    V::Store(y1, V::FixDwords(V::Packus16(V::Packs32(l1[0], l1[1]), V::Packs32(l1[2], l1[3]))));
    // 16-bit U V pairs; packed to bytes they are NV12's chroma row.
    return V::Packus16(ChromaPairs<2>(br[0], ga[0], br[1], ga[1]), ChromaPairs<2>(br[2], ga[2], br[3], ga[3]));
  }

  static void Nv12Rows(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                       std::uint8_t* uv, std::int32_t width) {
    constexpr int step = 4 * kPixels;
    std::int32_t x = 0;
    for (; x + step <= width; x += step)
      V::Store(uv + x, V::FixDwords(Block420(src0 + 4 * x, src1 + 4 * x, y0 + x, y1 + x)));
    Reference420Tail(src0, src1, y0, y1, uv, uv + 1, 2, x, width);
  }

  static void I420Rows(const std::uint8_t* src0, const std::uint8_t* src1, std::uint8_t* y0, std::uint8_t* y1,
                       std::uint8_t* u, std::uint8_t* v, std::int32_t width) {
    constexpr int step = 4 * kPixels;
    std::int32_t x = 0;
    for (; x + step <= width; x += step) {
      // The byte pairs U V, still in lane order, split into the U bytes and the V bytes.
      const R pairs = Block420(src0 + 4 * x, src1 + 4 * x, y0 + x, y1 + x);
      const R low = V::And(pairs, V::Set16(0x00FF)), high = V::Srli16(pairs, 8);
      V::StoreHalf(u + x / 2, V::Packus16(low, low));
      V::StoreHalf(v + x / 2, V::Packus16(high, high));
    }
    Reference420Tail(src0, src1, y0, y1, u, v, 1, x, width);
  }

  static void Yuy2Row(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) {
    constexpr int step = 2 * kPixels;
    std::int32_t x = 0;
    for (; x + step <= width; x += step) Yuy2Block(src + 4 * x, dst + 2 * x);
    ReferenceYuy2Tail(src, dst, x, width);
  }
};
