// The detector with the tables compiled into the library, on ordinary prose
// of every family it knows. A retrained table that loses a family fails
// here. The answer counts as right when it reads the bytes back to the
// text, as an equivalent or a larger encoding does.

#include <gtest/gtest.h>

#include <string>

#include "enr/enr_convert.h"
#include "enr/enr_detect_convert.h"
#include "enr/enr_encoding.h"
#include "enr_test_support.h"
#include "krn/krn_status.h"

using namespace enr;
using enr_test::Bytes;
using krn::Krn_status;
using krn::Wstring;

namespace {

const Wstring GERMAN =
    u"Am Morgen fuhren wir mit dem Zug über die Brücke nach Süden. Die Straßen waren noch leer, und "
    u"der Bäcker an der Ecke öffnete gerade seinen Laden. Später gingen wir zu Fuß durch die Gärten "
    u"am Fluss, tranken Kaffee und sprachen über die Pläne für den nächsten Sommer.\n";
const Wstring POLISH =
    u"Wczoraj wieczorem poszliśmy nad jezioro, żeby zobaczyć zachód słońca. Woda była spokojna, a na "
    u"brzegu siedziało kilku rybaków. Później wróciliśmy do domu przez las, w którym pachniało żywicą i "
    u"grzybami. Następnego dnia pojechaliśmy pociągiem do miasta na targ.\n";
const Wstring TURKISH =
    u"Dün akşam eski şehrin dar sokaklarında uzun bir yürüyüş yaptık. Küçük bir lokantada balık yedik ve "
    u"çay içtik. Garson bize yakındaki kaleyi görmemizi söyledi. Sabah erkenden kalkıp güneş doğarken "
    u"tepeye çıktık ve denizin üzerindeki gemileri seyrettik.\n";
const Wstring RUSSIAN =
    u"Вчера вечером мы долго гуляли по старому парку у реки. Было тихо, только птицы пели в кронах "
    u"деревьев. Потом мы зашли в маленькое кафе, выпили горячего чая и поговорили о планах на лето. "
    u"Домой вернулись поздно, когда на улицах уже зажглись фонари.\n";
const Wstring GREEK =
    u"Χθες το απόγευμα περπατήσαμε στην παραλία μέχρι το μικρό λιμάνι. Οι ψαράδες επέστρεφαν με τις "
    u"βάρκες τους και τα παιδιά έπαιζαν στην άμμο. Καθίσαμε σε μια ταβέρνα, φάγαμε φρέσκο ψάρι και "
    u"μιλήσαμε για το ταξίδι μας στα νησιά το επόμενο καλοκαίρι.\n";
const Wstring HEBREW =
    u"אתמול בערב הלכנו לטייל לאורך החוף עד הנמל הישן. הים היה שקט והשמש שקעה מאחורי הספינות. "
    u"אחר כך ישבנו בבית קפה קטן, שתינו תה ודיברנו על התוכניות שלנו לקיץ הבא. חזרנו הביתה מאוחר "
    u"בלילה, כשהרחובות כבר היו ריקים.\n";
const Wstring ARABIC =
    u"في مساء أمس ذهبنا إلى السوق القديم في وسط المدينة. كانت الشوارع مزدحمة بالناس والباعة. "
    u"اشترينا بعض الفواكه والخبز الطازج، ثم جلسنا في مقهى صغير وشربنا الشاي. وفي الصباح سافرنا "
    u"بالقطار إلى البحر وقضينا يوما جميلا على الشاطئ مع الأصدقاء.\n";
const Wstring THAI =
    u"เมื่อวานนี้เราไปเที่ยวตลาดน้ำแต่เช้า มีเรือขายผลไม้และอาหารมากมาย เราซื้อมะม่วงกับข้าวเหนียว "
    u"แล้วนั่งกินริมคลอง หลังจากนั้นเราเดินไปวัดเก่าที่อยู่ใกล้ ๆ และกลับบ้านตอนเย็นเมื่อฝนเริ่มตก\n";
const Wstring JAPANESE =
    u"昨日は朝早く起きて、電車で海の近くの町へ出かけました。駅を出ると、潮の香りがしました。"
    u"小さな店で魚の料理を食べてから、海岸をゆっくり散歩しました。夕方には雨が降り始めたので、"
    u"喫茶店に入って温かいお茶を飲みながら、旅の写真を見ました。\n";
const Wstring KOREAN =
    u"어제는 친구들과 함께 산에 올라갔습니다. 날씨가 맑아서 멀리 바다까지 보였습니다. 정상에서 "
    u"김밥을 먹고 사진을 찍었습니다. 내려오는 길에 작은 절에 들러 차를 마셨고, 저녁에는 시장에서 "
    u"맛있는 음식을 먹었습니다.\n";
const Wstring SIMPLIFIED_CHINESE =
    u"昨天早上我们坐火车去了海边的小城。下车以后，我们先在市场里买了水果，然后沿着海岸走了很久。"
    u"中午在一家小饭馆吃了鱼和米饭，下午天气变了，开始下雨，我们就在茶馆里喝茶、聊天，一直到晚上才回家。\n";
const Wstring TRADITIONAL_CHINESE =
    u"昨天早上我們坐火車去了海邊的小城。下車以後，我們先在市場裡買了水果，然後沿著海岸走了很久。"
    u"中午在一家小飯館吃了魚和米飯，下午天氣變了，開始下雨，我們就在茶館裡喝茶、聊天，一直到晚上才回家。\n";

// Menu and option labels: short lines of ideographs with next to no kana,
// which most Japanese text is full of.
const Wstring JAPANESE_LABELS[] = {
    u"文字色\n背景\n太字\n斜体\n下線\n左揃え\n中央揃え\n右揃え\n",
    u"表示(V)\n編集(E)\n設定(S)\n画像(I)\n選択範囲(R)\n拡大縮小(Z)\n",
};

Enr_encoding encoding_named(const char16_t* name) {
  Krn_status status;
  const Enr_encoding encoding = enr_display_name(Wstring(name), status);
  EXPECT_TRUE(status.ok()) << "no encoding named " << std::string(name, name + std::char_traits<char16_t>::length(name));
  return encoding;
}

// Detects `bytes` and gives the text that the detected encoding reads from
// them; an empty text when nothing was detected.
Wstring detected_reading(const std::string& bytes) {
  Bytes input(bytes);
  Enr_detect_convert detector;
  unsigned char flags = 0;
  Krn_status status;
  const Enr_encoding detected = detector.detect_character_encoding(&input.buffer, flags, status);
  EXPECT_TRUE(status.ok());
  if (detected == ENR_UNKNOWN_ENCODING) return Wstring();
  Wstring reading;
  if (flags & 1) {
    const bool little = (flags & 2) != 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const auto first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
      reading += static_cast<char16_t>(little ? first | (second << 8) : (first << 8) | second);
    }
    return reading;
  }
  enr_encoding_to_utf16(detected, bytes, reading, status);
  EXPECT_TRUE(status.ok());
  return reading;
}

// Writes a short `text` in `encoding` and checks that detection reads it
// back; the text must fit in `max_bytes`.
void expect_short_text_read_back(Enr_encoding encoding, const Wstring& text, std::size_t max_bytes) {
  std::string bytes;
  Krn_status status;
  ASSERT_TRUE(enr_utf16_to_encoding(encoding, text, bytes, status));
  ASSERT_LE(bytes.size(), max_bytes);
  EXPECT_TRUE(detected_reading(bytes) == text) << "read as another text: " << bytes;
}

struct Family_case {
  const char16_t* encoding;
  const Wstring* text;
};

TEST(EnrTrainedDetector, ReadsProseOfEveryFamily) {
  const Family_case cases[] = {
      {u"iso-8859-1", &GERMAN},        {u"iso-8859-2", &POLISH},       {u"iso-8859-9", &TURKISH},
      {u"koi8-r", &RUSSIAN},           {u"windows-1251", &RUSSIAN},    {u"iso-8859-5", &RUSSIAN},
      {u"iso-8859-7", &GREEK},         {u"iso-8859-8", &HEBREW},       {u"windows-1256", &ARABIC},
      {u"iso-8859-6", &ARABIC},        {u"tis-620", &THAI},            {u"Shift_JIS", &JAPANESE},
      {u"EUC-JP", &JAPANESE},          {u"EUC-KR", &KOREAN},           {u"GB18030", &SIMPLIFIED_CHINESE},
      {u"Big5", &TRADITIONAL_CHINESE}, {u"utf-8", &GREEK},             {u"utf-8", &JAPANESE},
      {u"UTF-16LE", &RUSSIAN},         {u"UTF-16BE", &KOREAN},         {u"UTF-32LE", &THAI},
  };
  for (const Family_case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding, c.encoding + std::char_traits<char16_t>::length(c.encoding)));
    const Enr_encoding encoding = encoding_named(c.encoding);
    std::string bytes;
    Krn_status status;
    ASSERT_TRUE(enr_utf16_to_encoding(encoding, *c.text + *c.text, bytes, status));
    EXPECT_TRUE(detected_reading(bytes) == *c.text + *c.text) << "read as another text";
  }
}

TEST(EnrTrainedDetector, ReadsShortJapaneseLabelsInShiftJis) {
  const Enr_encoding shift_jis = encoding_named(u"Shift_JIS");
  for (const Wstring& labels : JAPANESE_LABELS) expect_short_text_read_back(shift_jis, labels, 63);
}

// Short Danish and Norwegian messages whose only letter above 0x7F is "ø".
// In ISO-8859-2 that byte is "ř", so both encodings read them; the trigrams
// of the words around it, not the byte, say which one is right.
TEST(EnrTrainedDetector, ReadsShortDanishAndNorwegianWithOnlyOSlashAsLatin1) {
  const Wstring lines[] = {
      u"Indtast venligst adgangskoden for at løse den krypterede disk op.\n",
      u"Kunne ikke øge antallet af forbindelser til serveren.\n",
      u"Filen blev ikke fundet. Kontroller stien og prøv igen.\n",
      u"Kan ikke opprette forbindelse til tjeneren. Prøv igjen senere.\n",
      u"Noreg\nNy-Caledonia\nNorfolkøya\nNederland\nPalestina\nPapua Ny-Guinea\nFilippinane\n",
      u"Kunne ikke løse vertsnavnet\n",
  };
  const Enr_encoding latin1 = encoding_named(u"iso-8859-1");
  for (const Wstring& line : lines) expect_short_text_read_back(latin1, line, 128);
}

// Short texts in the Windows and DOS code pages, each with bytes that the
// ISO-8859 part (or the older code page) of its script reads as other
// characters or as controls: quotes, dashes, the euro and shekel signs,
// and the letters that moved. Read with the ISO sibling they would come out
// wrong, so only the right answer (or one that reads the same) passes.
TEST(EnrTrainedDetector, ReadsShortTextsInTheWindowsAndDosCodePages) {
  struct Text_case {
    const char16_t* encoding;
    Wstring text;
  };
  const Text_case cases[] = {
      {u"windows-1252", Wstring(u"„Guten Morgen“, sagte der Bäcker – und öffnete die Tür "
                                    u"zu seinem Laden, in dem es nach frischem Brot roch.\n")},
      {u"windows-1252", Wstring(u"L’œuvre coûte 15 € — c’est très cher, "
                                    u"dit-elle en sortant du musée avec sa sœur.\n")},
      {u"windows-1250", Wstring(u"Příliš žluťoučký kůň úpěl "
                                    u"ďábelské ódy – řekl šéf na dvoře.\n")},
      {u"windows-1250", Wstring(u"Wczoraj wieczorem poszliśmy nad jezioro, żeby zobaczyć zachód "
                                    u"słońca – było świetnie.\n")},
      {u"windows-1253", Wstring(u"Άνοιξη στην Αθήνα "
                                    u"– ο καιρός ήταν ζεστός "
                                    u"και η θάλασσα ήσυχη.\n")},
      {u"windows-1254", Wstring(u"“Yarın sabah erkenden yola çıkacağız” dedi "
                                    u"öğretmen ve çocuklar sevinçle bağırdı…\n")},
      {u"windows-1255", Wstring(u"המחיר הוא 50 ₪ – אמר "
                                    u"המוכר בחנות הקטנה "
                                    u"ליד הים.\n")},
      {u"windows-1257", Wstring(u"Vakar vakare ėjome pasivaikščioti palei upę, buvo labai "
                                    u"gražu ir šilta.\n")},
      {u"windows-1257", Wstring(u"Šodien ir ļoti skaista diena, un mēs ejam uz jūru "
                                    u"peāmīties.\n")},
      {u"iso-8859-15", Wstring(u"Le prix du cœur de bœuf est de 20 € le kilo, dit la sœur "
                                   u"du boucher.\n")},
      {u"ibm866", Wstring(u"Вчера вечером "
                              u"мы долго гуляли "
                              u"по старому парку "
                              u"у реки.\n")},
      {u"koi8-u", Wstring(u"Вчора ввечері ми "
                              u"довго гуляли старим "
                              u"парком біля річки, "
                              u"їли груші і співали.\n")},
      // Latin-1 text without a byte in 0x80..0x9F is still Latin-1.
      {u"iso-8859-1", Wstring(u"El niño comió piña en la montaña y después "
                                  u"bebió café con su abuela.\n")},
  };
  for (const Text_case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding, c.encoding + std::char_traits<char16_t>::length(c.encoding)));
    expect_short_text_read_back(encoding_named(c.encoding), c.text, 256);
  }
}

// Sixteen bytes of UTF-16 without a byte order mark, and of Shift_JIS
// katakana and kanji, which read as UTF-16 too.
TEST(EnrTrainedDetector, ReadsSixteenBytesOfUtf16AndShiftJis) {
  expect_short_text_read_back(encoding_named(u"UTF-16LE"), u"Адресные", 16);
  expect_short_text_read_back(encoding_named(u"UTF-16BE"), u"Адресные", 16);
  const Enr_encoding shift_jis = encoding_named(u"Shift_JIS");
  for (const Wstring& text : {Wstring(u"ファイル名変更"),
                              Wstring(u"文字入力テスト"),
                              Wstring(u"データ読込中。")}) {
    expect_short_text_read_back(shift_jis, text, 16);
  }
}

// Text with a byte order mark is UTF-16 when it reads as UTF-16, even text
// of characters beyond U+FFFF, which no training sample is made of.
TEST(EnrTrainedDetector, ReadsMarkedUtf16OfCharactersBeyondTheBasicPlane) {
  Wstring text = u"Emoji\t";
  for (int i = 0; i < 4000; ++i) text += u"\U0001F600";
  text += u"\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  Wstring reading = detected_reading(bytes);
  ASSERT_FALSE(reading.empty());
  EXPECT_TRUE(reading.substr(1) == text);  // after the mark
}

// A buffer of ISO-2022-CN text read from the start of a file is often cut
// just after a line end, inside the escape that starts the next line.
TEST(EnrTrainedDetector, FindsIso2022CnInABufferCutInsideAnEscape) {
  const Enr_encoding iso_2022_cn = encoding_named(u"ISO-2022-CN");
  const Wstring lines = u"我们坐火车去了海边的小城。\n下车以后先在市场里买了水果。\n";
  std::string bytes;
  Krn_status status;
  ASSERT_TRUE(enr_utf16_to_encoding(iso_2022_cn, lines, bytes, status));
  const std::size_t line_end = bytes.find("\n\x1B");
  ASSERT_NE(std::string::npos, line_end);
  const std::size_t second_line = line_end + 1;
  for (std::size_t cut : {second_line + 1, second_line + 2, second_line + 3}) {
    SCOPED_TRACE(cut);
    Bytes input(bytes.substr(0, cut));
    Enr_detect_convert detector;
    unsigned char flags = 0;
    EXPECT_EQ(iso_2022_cn, detector.detect_character_encoding(&input.buffer, flags, status));
    EXPECT_TRUE(status.ok());
  }
}

}  // namespace
