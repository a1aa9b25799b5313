// gen_keywords LINES OUTPUT [SEED]: writes a deterministic keyword list for benchmarks.
//
// Each line is a phrase of 2 to 5 words from a fixed vocabulary (some with apostrophes), or a
// repeat of an earlier phrase in another letter case, or a blank or space-only line; phrases
// are sometimes padded with spaces at either end. Lines end with CR LF, as Windows lists do.
// The same arguments always give the same bytes: the generator has its own PRNG and maps its
// numbers to choices itself, so no library distribution can change the output.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kPossessives[] = {
    "men's",
    "women's",
    "kids'",
    "children's",
    "girls'",
    "boys'",
    "baby's",
    "mother's day",
    "father's day",
    "valentine's day",
    "st. patrick's day",
    "teacher's",
    "nurse's",
    "chef's",
    "dog's",
    "cat's",
    "lover's",
    "beginner's",
    "runner's",
    "driver's",
    "o'neill",
    "levi's",
    "reese's",
    "mcdonald's",
    "trader joe's",
};

constexpr std::string_view kModifiers[] = {
    "best",         "cheap",       "new",
    "used",         "red",         "blue",
    "black",        "white",       "green",
    "pink",         "grey",        "navy",
    "leather",      "cotton",      "wool",
    "silk",         "denim",       "wooden",
    "metal",        "plastic",     "glass",
    "organic",      "vegan",       "gluten free",
    "waterproof",   "wireless",    "bluetooth",
    "portable",     "electric",    "manual",
    "automatic",    "digital",     "smart",
    "vintage",      "modern",      "rustic",
    "handmade",     "custom",      "personalized",
    "luxury",       "budget",      "affordable",
    "premium",      "lightweight", "heavy duty",
    "compact",      "large",       "small",
    "mini",         "extra large", "slim",
    "long",         "short",       "winter",
    "summer",       "spring",      "autumn",
    "outdoor",      "indoor",      "kitchen",
    "garden",       "office",      "gaming",
    "running",      "hiking",      "camping",
    "fishing",      "cycling",     "yoga",
    "fitness",      "travel",      "wedding",
    "birthday",     "christmas",   "halloween",
    "easter",       "nike",        "adidas",
    "samsung",      "apple",       "sony",
    "lg",           "dell",        "hp",
    "lenovo",       "bosch",       "ikea",
    "lego",         "canon",       "nikon",
    "garmin",       "fitbit",      "dyson",
    "philips",      "panasonic",   "stainless steel",
    "non stick",    "cast iron",   "memory foam",
    "king size",    "queen size",  "4k",
    "1080p",        "usb c",       "noise cancelling",
    "rechargeable", "solar",       "led",
    "ceramic",      "bamboo",      "recycled",
    "eco friendly", "kids",        "adult",
    "unisex",       "plus size",   "petite",
    "ergonomic",    "adjustable",  "foldable",
    "stackable",    "magnetic",    "anti slip",
    "scented",      "unscented",   "natural",
    "homemade",     "frozen",      "fresh",
    "spicy",        "sweet",       "low carb",
    "high protein", "sugar free",  "dairy free",
    "keto",         "paleo",       "italian",
    "mexican",      "japanese",    "thai",
    "indian",       "french",      "greek",
    "korean",
};

constexpr std::string_view kNouns[] = {
    "shoes",       "sneakers",     "boots",         "sandals",      "slippers",
    "jacket",      "coat",         "hoodie",        "sweater",      "t shirt",
    "shirt",       "dress",        "skirt",         "jeans",        "shorts",
    "leggings",    "socks",        "hat",           "cap",          "scarf",
    "gloves",      "backpack",     "handbag",       "wallet",       "watch",
    "sunglasses",  "necklace",     "earrings",      "ring",         "bracelet",
    "laptop",      "tablet",       "phone",         "headphones",   "earbuds",
    "speaker",     "monitor",      "keyboard",      "mouse",        "printer",
    "camera",      "tv",           "router",        "charger",      "power bank",
    "smartwatch",  "drone",        "console",       "controller",   "sofa",
    "chair",       "desk",         "table",         "bed",          "mattress",
    "pillow",      "blanket",      "lamp",          "rug",          "curtains",
    "mirror",      "shelf",        "wardrobe",      "cabinet",      "vacuum",
    "blender",     "toaster",      "kettle",        "coffee maker", "air fryer",
    "microwave",   "oven",         "fridge",        "dishwasher",   "washing machine",
    "frying pan",  "knife set",    "cutting board", "water bottle", "lunch box",
    "tent",        "sleeping bag", "bike",          "helmet",       "skateboard",
    "scooter",     "treadmill",    "dumbbells",     "yoga mat",     "tennis racket",
    "golf clubs",  "football",     "basketball",    "fishing rod",  "grill",
    "lawn mower",  "hose",         "planter",       "seeds",        "fertilizer",
    "dog food",    "cat food",     "dog bed",       "cat tree",     "leash",
    "collar",      "toys",         "puzzle",        "board game",   "books",
    "notebook",    "pen",          "pencils",       "paint",        "canvas",
    "guitar",      "piano",        "ukulele",       "drum set",     "microphone",
    "candles",     "soap",         "shampoo",       "conditioner",  "lotion",
    "perfume",     "lipstick",     "mascara",       "sunscreen",    "toothbrush",
    "razor",       "hair dryer",   "straightener",  "recipes",      "pizza",
    "pasta",       "salad",        "soup",          "cake",         "cookies",
    "bread",       "coffee",       "tea",           "wine",         "beer",
    "chocolate",   "gift ideas",   "gift basket",   "costume",      "decorations",
    "invitations",
};

constexpr std::string_view kTails[] = {
    "online",   "sale",          "near me",     "for sale",      "on sale",      "discount",
    "deals",    "coupon",        "reviews",     "review",        "price",        "prices",
    "uk",       "usa",           "canada",      "australia",     "2023",         "2024",
    "for men",  "for women",     "for kids",    "for boys",      "for girls",    "for dogs",
    "for cats", "for beginners", "for seniors", "free shipping", "wholesale",    "amazon",
    "ebay",     "store",         "shop",        "brands",        "how to clean", "how to choose",
    "vs",       "best rated",    "top 10",      "set",
};

template <std::size_t N>
constexpr std::size_t Count(const std::string_view (&)[N]) {
    return N;
}

class Rng {  // splitmix64: tiny, fast, and the same on every platform
  public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) {
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
    }
    bool Percent(unsigned p) { return Below(100) < p; }

  private:
    std::uint64_t state_;
};

std::size_t WordsIn(std::string_view entry) {
    std::size_t n = 1;
    for (char c : entry) n += c == ' ';
    return n;
}

// Appends an entry that fits the words left, or nothing when a few draws find none.
template <std::size_t N>
std::size_t AppendEntry(std::string& out, Rng& rng, const std::string_view (&entries)[N],
                        std::size_t wordsLeft) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string_view entry = entries[rng.Below(N)];
        const std::size_t words = WordsIn(entry);
        if (words > wordsLeft) continue;
        if (!out.empty()) out.push_back(' ');
        out.append(entry);
        return words;
    }
    return 0;
}

// 2 to 5 words: [possessive] [modifiers] noun [tail].
void MakePhrase(std::string& out, Rng& rng) {
    out.clear();
    const std::uint64_t r = rng.Below(100);
    const std::size_t words = r < 15 ? 2 : r < 55 ? 3 : r < 85 ? 4 : 5;
    std::string noun, tail;
    std::size_t left = words;
    left -= AppendEntry(noun, rng, kNouns, left - 1);  // leaves room for one more word
    if (rng.Percent(35)) left -= AppendEntry(tail, rng, kTails, left - 1);
    if (rng.Percent(15)) left -= AppendEntry(out, rng, kPossessives, left);
    while (left > 0) {
        const std::size_t added = AppendEntry(out, rng, kModifiers, left);
        if (added == 0) break;
        left -= added;
    }
    if (!out.empty()) out.push_back(' ');
    out.append(noun);
    if (!tail.empty()) out.append(" ").append(tail);
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

enum class Style { AsIs, Lower, Title, Upper, First };

void Append(std::string& out, std::string_view phrase, Style style) {
    bool wordStart = true;
    for (char c : phrase) {
        switch (style) {
            case Style::AsIs:
                break;
            case Style::Lower:
                c = Lower(c);
                break;
            case Style::Upper:
                c = Upper(c);
                break;
            case Style::Title:
                c = wordStart ? Upper(c) : Lower(c);
                break;
            case Style::First:
                c = &c == &phrase.front() ? Upper(c) : Lower(c);
                break;
        }
        wordStart = c == ' ';
        out.push_back(c);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: gen_keywords LINES OUTPUT [SEED]\n");
        return 2;
    }
    const std::uint64_t lines = std::strtoull(argv[1], nullptr, 10);
    const std::uint64_t seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 20240601;
    std::FILE* file = std::fopen(argv[2], "wb");
    if (!file) {
        std::perror(argv[2]);
        return 1;
    }

    Rng rng(seed);
    // Every phrase written so far, as typed the first time, so repeats can pick any of them.
    std::string store;
    std::vector<std::uint64_t> starts{0};
    std::string phrase, out;
    out.reserve(1 << 20);

    for (std::uint64_t i = 0; i < lines; ++i) {
        const std::uint64_t kind = rng.Below(100);
        if (kind < 2) {
            // blank line
        } else if (kind < 4) {
            out.append(1 + rng.Below(4), ' ');  // space-only line
        } else {
            const bool repeat = kind < 38 && starts.size() > 1;
            std::string_view text;
            Style style;
            if (repeat) {
                const std::uint64_t k = rng.Below(starts.size() - 1);
                text = std::string_view(store).substr(starts[k], starts[k + 1] - starts[k]);
                const std::uint64_t s = rng.Below(100);
                style = s < 40   ? Style::AsIs
                        : s < 65 ? Style::Lower
                        : s < 90 ? Style::Title
                                 : Style::Upper;
            } else {
                MakePhrase(phrase, rng);
                const std::uint64_t s = rng.Below(100);
                style = s < 70 ? Style::AsIs : s < 90 ? Style::Title : Style::First;
            }
            const bool padLeft = rng.Percent(10);
            const bool padRight = rng.Percent(10);
            if (padLeft) out.append(1 + rng.Below(3), ' ');
            const std::size_t begin = out.size();
            Append(out, repeat ? text : std::string_view(phrase), style);
            if (!repeat) {
                store.append(out, begin, out.size() - begin);
                starts.push_back(store.size());
            }
            if (padRight) out.append(1 + rng.Below(3), ' ');
        }
        out.append("\r\n");
        if (out.size() >= (1u << 20) - 256) {
            if (std::fwrite(out.data(), 1, out.size(), file) != out.size()) break;
            out.clear();
        }
    }
    const bool ok =
        std::fwrite(out.data(), 1, out.size(), file) == out.size() && std::fclose(file) == 0;
    if (!ok) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
