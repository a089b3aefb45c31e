# Word frequencies: writes a text of 300,000 words drawn with a skew from a small vocabulary
# (some in capitals), splits it, counts each word in lower case, and prints the ten most
# frequent words (ties in order of first appearance).
WORDS = 300000
VOCABULARY = [
    "the", "of", "and", "to", "in", "a", "is", "that", "for", "it", "as", "was", "with", "be",
    "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have",
    "an", "had", "they", "you", "were", "their", "one", "all", "we", "can", "her", "has",
    "there",
]
seed = 1


def rand(n):
    global seed
    seed = (seed * 1103515245 + 12345) % 2147483648
    return seed // 65536 % n


def make_text():
    size = len(VOCABULARY)
    words = []
    for _ in range(WORDS):
        word = VOCABULARY[rand(size) * rand(size) // size]
        if rand(8) == 0:
            word = word.upper()
        words.append(word)
    return " ".join(words)


def main():
    counts = {}
    for word in make_text().split(" "):
        word = word.lower()
        counts[word] = counts.get(word, 0) + 1
    print("distinct " + str(len(counts)))
    ranked = sorted(counts.items(), key=lambda item: -item[1])
    for word, count in ranked[:10]:
        print(word + " " + str(count))


main()
