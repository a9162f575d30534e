#include "samples/samplegen.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "docx/xml.h"

namespace samples {

namespace {

// ---------------------------------------------------------------------------
// Deterministic numbers. The standard distributions differ between library
// implementations, so the draws are our own: splitmix64 and plain modulo.

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A number from lo to hi, both included.
  int Between(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Next() % N];
  }

 private:
  std::uint64_t state_;
};

// Every record draws from a stream of its own, so a record's data does not
// depend on how many records come before or after it.
Rng RecordRng(std::uint64_t seed, int index, std::uint64_t purpose) {
  Rng mix(seed ^ (0xD1B54A32D192ED03ULL * static_cast<std::uint64_t>(index)) ^ (purpose << 56));
  return Rng(mix.Next());
}

// ---------------------------------------------------------------------------
// Data of our own.

constexpr std::array<std::string_view, 24> kFemaleNames = {
    "Anna",   "Maria", "Sophie", "Zoë",       "Fatemeh", "Ingrid", "Chloé",  "Aisha",
    "Emily",  "Olga",  "Mei",    "Siobhán",   "Lucía",   "Priya",  "Hannah", "Yuki",
    "Élodie", "Grace", "Nadia",  "Katarzyna", "Amara",   "Freya",  "Leila",  "Beatriz"};
constexpr std::array<std::string_view, 24> kMaleNames = {
    "James", "Mohammed", "Lars",   "José",  "Thomas", "Dmitri", "Kenji",    "Liam",
    "Ahmed", "Mateo",    "Oliver", "Raj",   "Björn",  "Daniel", "Kwame",    "Luca",
    "Piotr", "Samuel",   "Hamid",  "Conor", "Noah",   "Arjun",  "François", "Tobias"};
constexpr std::array<std::string_view, 32> kLastNames = {
    "Novák",     "O'Brien", "Müller",      "Smith",        "García", "Nakamura", "Kowalski",
    "Johansson", "Rossi",   "Okafor",      "Dubois",       "Haddad", "Chen",     "Petrov",
    "Fernández", "Nguyen",  "MacLeod",     "van der Berg", "Jensen", "Kapoor",   "Rahimi",
    "Schmidt",   "Taylor",  "Costa",       "Andersson",    "Brown",  "Wójcik",   "Papadopoulos",
    "Silva",     "Moreau",  "Ólafsdóttir", "Karimi"};
constexpr std::array<std::string_view, 12> kOrganisations = {
    "Harbour & Sons Ltd",     "Northwind Traders", "Blue Fern Design",
    "Kestrel Logistics GmbH", "Atelier Lumière",   "Sunrise Dental Clinic",
    "Greenleaf Co-operative", "Pixel & Loom",      "Baltic Timber AB",
    "Meridian Analytics",     "Old Mill Bakery",   "Café <Central>"};
constexpr std::array<std::string_view, 14> kStreets = {
    "Harbour Lane", "Station Road", "Rue des Lilas", "Hauptstraße",  "Calle Mayor",
    "Kings Avenue", "Via Roma",     "Elm Street",    "Birkenweg",    "Queen's Parade",
    "Mill Close",   "Oak Terrace",  "Kungsgatan",    "Prinsengracht"};

enum class PostcodeForm { kUk, kFiveDigits, kFourDigits, kSwedish };
struct Place {
  std::string_view city, country;
  PostcodeForm form;
  std::string_view prefix;  // the UK outward code's letters
};
constexpr std::array<Place, 14> kPlaces = {{
    {"London", "United Kingdom", PostcodeForm::kUk, "SW"},
    {"Manchester", "United Kingdom", PostcodeForm::kUk, "M"},
    {"Bristol", "United Kingdom", PostcodeForm::kUk, "BS"},
    {"Edinburgh", "United Kingdom", PostcodeForm::kUk, "EH"},
    {"Berlin", "Germany", PostcodeForm::kFiveDigits, ""},
    {"München", "Germany", PostcodeForm::kFiveDigits, ""},
    {"Lyon", "France", PostcodeForm::kFiveDigits, ""},
    {"Madrid", "Spain", PostcodeForm::kFiveDigits, ""},
    {"Milano", "Italy", PostcodeForm::kFiveDigits, ""},
    {"Amsterdam", "Netherlands", PostcodeForm::kFourDigits, ""},
    {"København", "Denmark", PostcodeForm::kFourDigits, ""},
    {"Wien", "Austria", PostcodeForm::kFourDigits, ""},
    {"Göteborg", "Sweden", PostcodeForm::kSwedish, ""},
    {"Uppsala", "Sweden", PostcodeForm::kSwedish, ""},
}};
constexpr std::array<std::string_view, 12> kMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

struct Product {
  std::string_view name;
  int unitCents;
};
constexpr std::array<Product, 16> kProducts = {{
    {"Oak writing desk, 140 cm", 42900},
    {"Ergonomic office chair", 23950},
    {"A4 copier paper, box of 5 reams", 2399},
    {"Fountain pen, brushed steel", 4500},
    {"Desk lamp with dimmer", 5990},
    {"Filing cabinet, 3 drawers", 18900},
    {"Notebook, dotted, 200 pages", 1250},
    {"Monitor arm, twin", 8900},
    {"Whiteboard 120 × 90 cm", 7450},
    {"Printer toner, black", 6799},
    {"Installation and assembly (per hour)", 5500},
    {"Delivery within the city", 2500},
    {"Cable organiser set", 1899},
    {"Bookshelf, walnut veneer", 31900},
    {"Noise-cancelling headset", 14900},
    {"Annual service plan", 19900},
}};
constexpr std::array<std::string_view, 8> kCourses = {
    "Advanced Spreadsheet Modelling",    "Project Management Foundations", "First Aid at Work",
    "Data Protection for Practitioners", "Business Writing with Clarity",  "Leadership in Practice",
    "Introduction to Bookkeeping",       "Customer Service Excellence"};
constexpr std::array<std::string_view, 4> kPlans = {"Essential", "Standard", "Premium",
                                                    "Business Plus"};

std::string Digits(Rng& rng, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>('0' + rng.Between(0, 9));
  return out;
}

std::string Letters(Rng& rng, int count) {
  static constexpr std::string_view kLetters = "ABDEFGHJLNPQRSTUWXYZ";
  std::string out;
  for (int i = 0; i < count; ++i) out += kLetters[rng.Between(0, kLetters.size() - 1)];
  return out;
}

std::string Postcode(Rng& rng, const Place& place) {
  switch (place.form) {
    case PostcodeForm::kUk:
      return std::string(place.prefix) + std::to_string(rng.Between(1, 19)) + " " + Digits(rng, 1) +
             Letters(rng, 2);
    case PostcodeForm::kFiveDigits:
      return std::to_string(rng.Between(10, 98)) + Digits(rng, 3);
    case PostcodeForm::kFourDigits:
      return std::to_string(rng.Between(1, 9)) + Digits(rng, 3);
    case PostcodeForm::kSwedish:
      return std::to_string(rng.Between(100, 989)) + " " + Digits(rng, 2);
  }
  return {};
}

struct Date {
  int day, month, year;  // month from 1
};
std::string FormatDate(const Date& d) {
  return std::to_string(d.day) + " " + std::string(kMonths[d.month - 1]) + " " +
         std::to_string(d.year);
}
Date MonthLater(Date d) {
  if (++d.month > 12) {
    d.month = 1;
    ++d.year;
  }
  return d;
}
Date DrawDate(Rng& rng) {
  return {rng.Between(1, 28), rng.Between(1, 12), 2024};
}

// "€1,234.56"
std::string Money(std::int64_t cents) {
  std::string whole = std::to_string(cents / 100);
  for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3) whole.insert(i, ",");
  char fraction[4];
  std::snprintf(fraction, sizeof fraction, "%02d", static_cast<int>(cents % 100));
  return "€" + whole + "." + fraction;
}

Record MakeRecord(int index, std::uint64_t seed) {
  Rng rng = RecordRng(seed, index, 0);
  Record r;
  r.index = index;
  const int gender = rng.Between(0, 1);
  r.firstName = std::string(gender ? rng.Pick(kFemaleNames) : rng.Pick(kMaleNames));
  r.lastName = std::string(rng.Pick(kLastNames));
  const int titleDraw = rng.Between(1, 100);
  if (titleDraw <= 8) {
    r.title = "Dr.";
  } else if (titleDraw <= 16) {
    r.title = "";
  } else if (gender) {
    r.title = titleDraw <= 60 ? "Mrs." : "Ms.";
  } else {
    r.title = "Mr.";
  }
  if (rng.Chance(30)) r.organisation = std::string(rng.Pick(kOrganisations));
  r.street = std::to_string(rng.Between(1, 240)) + " " + std::string(rng.Pick(kStreets));
  const Place& place = rng.Pick(kPlaces);
  r.postcode = Postcode(rng, place);
  r.city = std::string(place.city);
  r.country = std::string(place.country);
  r.account = "QT-" + Digits(rng, 4) + "-" + Digits(rng, 4);
  r.date = FormatDate(DrawDate(rng));
  r.balanceCents = rng.Between(1500, 980000);
  return r;
}

// ---------------------------------------------------------------------------
// WordprocessingML, written straight into one growing string.

constexpr std::string_view kNsW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kNsR =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kRootNamespaces =
    R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")"
    R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture")";
constexpr std::string_view kXmlDecl =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

// Relationship ids of the main part.
constexpr std::string_view kRidStyles = "rId1";
constexpr std::string_view kRidSettings = "rId2";
constexpr std::string_view kRidFonts = "rId3";
constexpr std::string_view kRidNumbering = "rId4";
constexpr std::string_view kRidHeader = "rId5";
constexpr std::string_view kRidFooter = "rId6";
constexpr std::string_view kRidSeal = "rId7";
// ...and of the header part.
constexpr std::string_view kRidLogo = "rId1";

// EMUs per pixel at 96 dpi.
constexpr long long kEmuPerPixel = 9525;
// The pictures' sizes in pixels (square).
constexpr int kLogoSize = 96;
constexpr int kSealSize = 160;

// The pictures as PNG files, drawn once per process: drawing is slow next to
// writing a merge of a few records.
const std::string& LogoPng();
const std::string& SealPng();

void Run(std::string& out, std::string_view text, std::string_view rPr = {}) {
  out += "<w:r>";
  if (!rPr.empty()) {
    out += "<w:rPr>";
    out += rPr;
    out += "</w:rPr>";
  }
  out += "<w:t xml:space=\"preserve\">";
  out += docx::EscapeXml(text);
  out += "</w:t></w:r>";
}

void ParaOpen(std::string& out, std::string_view pPr) {
  out += "<w:p>";
  if (!pPr.empty()) {
    out += "<w:pPr>";
    out += pPr;
    out += "</w:pPr>";
  }
}

// A paragraph of one run; `text` empty gives an empty paragraph.
void Para(std::string& out, std::string_view pPr, std::string_view text,
          std::string_view rPr = {}) {
  ParaOpen(out, pPr);
  if (!text.empty()) Run(out, text, rPr);
  out += "</w:p>";
}

std::string Style(std::string_view id) {
  return "<w:pStyle w:val=\"" + std::string(id) + "\"/>";
}

// A list item of the record's own list instance, so that every record's list
// starts at 1 (Word's merge gives each record its own w:num for this reason).
void ListItem(std::string& out, int numId, std::string_view text) {
  out +=
      "<w:p><w:pPr><w:pStyle w:val=\"ListParagraph\"/><w:numPr><w:ilvl w:val=\"0\"/>"
      "<w:numId w:val=\"";
  out += std::to_string(numId);
  out += "\"/></w:numPr></w:pPr>";
  Run(out, text);
  out += "</w:p>";
}

// One inline picture. `docPrId` must be unique in the whole package.
void InlinePicture(std::string& out, std::string_view rid, int docPrId, std::string_view name,
                   long long cx, long long cy) {
  const std::string ext = "cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) + "\"";
  out += "<w:r><w:drawing><wp:inline distT=\"0\" distB=\"0\" distL=\"0\" distR=\"0\"><wp:extent ";
  out += ext;
  out += "/><wp:effectExtent l=\"0\" t=\"0\" r=\"0\" b=\"0\"/><wp:docPr id=\"";
  out += std::to_string(docPrId);
  out += "\" name=\"";
  out += docx::EscapeXml(name);
  out +=
      "\"/><wp:cNvGraphicFramePr><a:graphicFrameLocks noChangeAspect=\"1\"/>"
      "</wp:cNvGraphicFramePr><a:graphic><a:graphicData "
      "uri=\"http://schemas.openxmlformats.org/drawingml/2006/picture\"><pic:pic>"
      "<pic:nvPicPr><pic:cNvPr id=\"0\" name=\"";
  out += docx::EscapeXml(name);
  out += "\"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=\"";
  out += rid;
  out +=
      "\"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm>"
      "<a:off x=\"0\" y=\"0\"/><a:ext ";
  out += ext;
  out +=
      "/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>"
      "</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>";
}

// A complex field with its cached result, as Word writes PAGE and friends.
void Field(std::string& out, std::string_view instruction, std::string_view result) {
  out +=
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText "
      "xml:space=\"preserve\"> ";
  out += instruction;
  out += " </w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>";
  Run(out, result);
  out += "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
}

struct Cell {
  Cell(std::string text, bool bold = false, bool right = false, std::string_view fill = {})
      : text(std::move(text)), bold(bold), right(right), fill(fill) {}
  std::string text;
  bool bold;
  bool right;
  std::string_view fill;  // shading colour, "" for none
};

struct TableLook {
  std::string_view style = "TableGrid";
  bool borderless = false;
};

void TableOpen(std::string& out, const std::vector<int>& widths, const TableLook& look) {
  out += "<w:tbl><w:tblPr><w:tblStyle w:val=\"";
  out += look.style;
  out += "\"/><w:tblW w:w=\"0\" w:type=\"auto\"/>";
  if (look.borderless) {
    out +=
        "<w:tblBorders><w:top w:val=\"nil\"/><w:left w:val=\"nil\"/><w:bottom w:val=\"nil\"/>"
        "<w:right w:val=\"nil\"/><w:insideH w:val=\"nil\"/><w:insideV w:val=\"nil\"/>"
        "</w:tblBorders>";
  }
  out +=
      "<w:tblLook w:val=\"04A0\" w:firstRow=\"1\" w:lastRow=\"0\" w:firstColumn=\"1\" "
      "w:lastColumn=\"0\" w:noHBand=\"0\" w:noVBand=\"1\"/></w:tblPr><w:tblGrid>";
  for (int w : widths) out += "<w:gridCol w:w=\"" + std::to_string(w) + "\"/>";
  out += "</w:tblGrid>";
}

void Row(std::string& out, const std::vector<int>& widths, const std::vector<Cell>& cells,
         bool header = false) {
  out += "<w:tr>";
  if (header) out += "<w:trPr><w:tblHeader/></w:trPr>";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const Cell& cell = cells[i];
    out += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(widths[i]) + "\" w:type=\"dxa\"/>";
    if (!cell.fill.empty()) {
      out += "<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"";
      out += cell.fill;
      out += "\"/>";
    }
    out += "</w:tcPr>";
    Para(out,
         cell.right ? "<w:spacing w:after=\"0\"/><w:jc w:val=\"right\"/>"
                    : "<w:spacing w:after=\"0\"/>",
         cell.text, cell.bold ? "<w:b/><w:bCs/>" : "");
    out += "</w:tc>";
  }
  out += "</w:tr>";
}

void TableClose(std::string& out) {
  out += "</w:tbl>";
}

// ---------------------------------------------------------------------------
// Page layout of each kind.

struct Layout {
  int width, height;  // twips
  bool landscape;
  int top, right, bottom, left;
  bool numbering;  // the kind uses numbered lists
  bool seal;       // the kind shows the seal image in every record
};

Layout LayoutFor(Kind kind) {
  switch (kind) {
    case Kind::kCertificates:
      return {16838, 11906, true, 1134, 1418, 1134, 1418, false, true};
    case Kind::kInvoices:
      return {11906, 16838, false, 1247, 1134, 1247, 1134, true, false};
    case Kind::kLetters:
      return {11906, 16838, false, 1417, 1247, 1417, 1247, true, false};
    case Kind::kBenchmarkLetter:
      return {11906, 16838, false, 1417, 1247, 1417, 1247, false, false};
  }
  throw std::invalid_argument("unknown merge kind");
}

std::string SectionProperties(const Layout& layout) {
  std::string out = "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"";
  out += kRidHeader;
  out += "\"/><w:footerReference w:type=\"default\" r:id=\"";
  out += kRidFooter;
  out += "\"/><w:type w:val=\"nextPage\"/><w:pgSz w:w=\"" + std::to_string(layout.width) +
         "\" w:h=\"" + std::to_string(layout.height) + "\"";
  if (layout.landscape) out += " w:orient=\"landscape\"";
  out += "/><w:pgMar w:top=\"" + std::to_string(layout.top) + "\" w:right=\"" +
         std::to_string(layout.right) + "\" w:bottom=\"" + std::to_string(layout.bottom) +
         "\" w:left=\"" + std::to_string(layout.left) +
         "\" w:header=\"567\" w:footer=\"567\" w:gutter=\"0\"/>"
         "<w:pgNumType w:start=\"1\"/><w:cols w:space=\"708\"/>"
         "<w:docGrid w:linePitch=\"360\"/></w:sectPr>";
  return out;
}

int TextWidth(const Layout& layout) {
  return layout.width - layout.left - layout.right;
}

// The record's closing paragraph: its properties carry the section break,
// except for the last record, whose properties close the body instead.
void RecordEnd(std::string& out, bool last, const std::string& sectPr, std::string_view pPr,
               std::string_view text, std::string_view rPr = {}) {
  if (last) {
    Para(out, pPr, text, rPr);
    return;
  }
  std::string withBreak(pPr);
  withBreak += sectPr;
  Para(out, withBreak, text, rPr);
}

void AddressBlock(std::string& out, const Record& r) {
  const std::string_view tight = "<w:spacing w:after=\"0\"/>";
  Para(out, tight, r.FullName());
  if (!r.organisation.empty()) Para(out, tight, r.organisation);
  Para(out, tight, r.street);
  Para(out, tight, r.postcode + " " + r.city);
  Para(out, "<w:spacing w:after=\"360\"/>", r.country);
}

struct Writer {
  const Options& options;
  const Layout& layout;
  std::string sectPr;
  std::string& out;
};

// ----- Customer letters ----------------------------------------------------

void LetterRecord(Writer& w, const Record& r, bool last) {
  std::string& out = w.out;
  Rng rng = RecordRng(w.options.seed, r.index, 1);
  const int topic = rng.Between(0, 3);
  const int since = rng.Between(2006, 2022);
  const std::string_view plan = rng.Pick(kPlans);
  const std::string balance = Money(r.balanceCents);
  const int rise = rng.Between(2, 7);

  AddressBlock(out, r);
  Para(out, "<w:jc w:val=\"right\"/>", r.date);

  static constexpr std::array<std::string_view, 4> kSubjects = {
      "Your annual account statement", "Changes to your tariff from 1 January 2025",
      "Your membership is due for renewal", "Welcome to Quillory"};
  Para(out, Style("Heading1"), std::string(kSubjects[topic]) + " (account " + r.account + ")");
  Para(out, {}, r.Salutation());

  switch (topic) {
    case 0:
      Para(out, {},
           "Thank you for being with us since " + std::to_string(since) +
               ". Below is a summary of your account for the past twelve months. "
               "Your balance on the date of this letter is " +
               balance + ".");
      break;
    case 1:
      Para(out, {},
           "We are writing to let you know that the price of the " + std::string(plan) +
               " plan will rise by " + std::to_string(rise) +
               "% from 1 January 2025. We have held our prices for two years and "
               "regret that rising costs now make a change necessary.");
      break;
    case 2:
      Para(out, {},
           "Your " + std::string(plan) +
               " membership ends next month. Renewing now keeps your discounts, your "
               "saved preferences and your place in our priority support queue.");
      break;
    default:
      Para(out, {},
           "We are delighted to welcome you as a customer. Your account is ready "
           "to use, and the details you will need are set out below; please keep "
           "this letter for your records.");
  }

  const int tw = TextWidth(w.layout);
  const std::vector<int> widths = {tw * 2 / 5, tw - tw * 2 / 5};
  TableOpen(out, widths, {});
  const std::string_view label = "DEEAF6";
  Row(out, widths, {{"Account number", true, false, label}, {r.account}});
  Row(out, widths, {{"Customer since", true, false, label}, {std::to_string(since)}});
  Row(out, widths, {{"Plan", true, false, label}, {std::string(plan)}});
  Row(out, widths, {{"Balance", true, false, label}, {balance, false, true}});
  TableClose(out);

  Para(out, "<w:spacing w:before=\"240\"/>", "What happens next:");
  static constexpr std::array<std::array<std::string_view, 3>, 4> kSteps = {{
      {"Check the summary above against your own records.",
       "Tell us within 30 days if anything looks wrong.",
       "Keep this statement: you may need it for your tax return."},
      {"You do not need to do anything if you are happy to continue.",
       "To change plan, call us or use your online account.",
       "You may leave without a fee until 31 December 2024."},
      {"Renew online with the account number shown above.",
       "Or call us and we will renew the membership for you.",
       "Your card will not be charged before the renewal date."},
      {"Sign in to your online account with your account number.",
       "Choose how you would like to receive your statements.",
       "Add the people who may speak to us about your account."},
  }};
  for (std::string_view step : kSteps[topic]) ListItem(out, r.index, step);

  Para(out, "<w:spacing w:before=\"240\"/>",
       "If you have any questions, please call us on +44 20 7946 0321. We are always glad "
       "to help.");
  Para(out, "<w:spacing w:after=\"600\"/>", "Kind regards,");
  Para(out, "<w:spacing w:after=\"0\"/>", "Helena Vargas", "<w:b/><w:bCs/>");
  Para(out, {}, "Customer Relations, " + w.options.company);
  RecordEnd(out, last, w.sectPr, {}, {});
}

// ----- Invoices -------------------------------------------------------------

void InvoiceRecord(Writer& w, const Record& r, bool last) {
  std::string& out = w.out;
  Rng rng = RecordRng(w.options.seed, r.index, 2);
  const std::string number = "INV-2024-" + std::to_string(10000 + r.index * 7 + rng.Between(0, 6));
  Rng dateRng = RecordRng(w.options.seed, r.index, 3);
  const Date date = DrawDate(dateRng);
  const std::string due = FormatDate(MonthLater(date));

  Para(out, Style("Title"), "Invoice");
  const int tw = TextWidth(w.layout);
  const std::vector<int> info = {tw / 3, tw - tw / 3};
  TableOpen(out, info, {"TableGrid", true});
  Row(out, info, {{"Invoice number", true}, {number}});
  Row(out, info, {{"Invoice date", true}, {FormatDate(date)}});
  Row(out, info, {{"Due date", true}, {due}});
  Row(out, info, {{"Customer account", true}, {r.account}});
  TableClose(out);

  Para(out, Style("Heading2"), "Bill to");
  AddressBlock(out, r);

  const std::vector<int> cols = {tw - 3 * (tw / 6), tw / 6, tw / 6, tw / 6};
  const std::string_view head = "1F5F7A";
  TableOpen(out, cols, {});
  out += "<w:tr><w:trPr><w:tblHeader/></w:trPr>";
  for (std::size_t i = 0; i < 4; ++i) {
    static constexpr std::array<std::string_view, 4> kHeads = {"Description", "Qty", "Unit price",
                                                               "Amount"};
    out += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(cols[i]) +
           "\" w:type=\"dxa\"/><w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"";
    out += head;
    out += "\"/></w:tcPr>";
    Para(out,
         i ? "<w:spacing w:after=\"0\"/><w:jc w:val=\"right\"/>" : "<w:spacing w:after=\"0\"/>",
         kHeads[i], "<w:b/><w:bCs/><w:color w:val=\"FFFFFF\"/>");
    out += "</w:tc>";
  }
  out += "</w:tr>";
  const int lines = rng.Between(2, 9);
  std::int64_t subtotal = 0;
  std::uint32_t used = 0;  // products already on this invoice
  for (int i = 0; i < lines; ++i) {
    int p = rng.Between(0, static_cast<int>(kProducts.size()) - 1);
    while (used & (1u << p)) p = (p + 1) % static_cast<int>(kProducts.size());
    used |= 1u << p;
    const Product& product = kProducts[p];
    const int qty = product.unitCents > 20000 ? rng.Between(1, 3) : rng.Between(1, 12);
    const std::int64_t amount = static_cast<std::int64_t>(qty) * product.unitCents;
    subtotal += amount;
    Row(out, cols,
        {{std::string(product.name)},
         {std::to_string(qty), false, true},
         {Money(product.unitCents), false, true},
         {Money(amount), false, true}});
  }
  const std::int64_t vat = (subtotal * 20 + 50) / 100;
  const std::string_view sum = "F2F2F2";
  Row(out, cols,
      {{"Subtotal", false, false, sum},
       {"", false, false, sum},
       {"", false, false, sum},
       {Money(subtotal), false, true, sum}});
  Row(out, cols,
      {{"VAT at 20%", false, false, sum},
       {"", false, false, sum},
       {"", false, false, sum},
       {Money(vat), false, true, sum}});
  Row(out, cols,
      {{"Total due", true, false, sum},
       {"", false, false, sum},
       {"", false, false, sum},
       {Money(subtotal + vat), true, true, sum}});
  TableClose(out);

  Para(out, Style("Heading2"), "Payment terms");
  ListItem(out, r.index,
           "Please pay " + Money(subtotal + vat) + " by " + due +
               " to IBAN GB29 NWBK 6016 1331 9268 19 (Quillory Trading Ltd).");
  ListItem(out, r.index, "Quote " + number + " as the payment reference.");
  ListItem(out, r.index,
           "Questions about this invoice: accounts@quillory.example or +44 20 7946 0321.");
  RecordEnd(out, last, w.sectPr, "<w:spacing w:before=\"360\"/><w:jc w:val=\"center\"/>",
            "Thank you for your business.", "<w:i/><w:iCs/>");
}

// ----- Certificates ---------------------------------------------------------

void CertificateRecord(Writer& w, const Record& r, bool last) {
  std::string& out = w.out;
  Rng rng = RecordRng(w.options.seed, r.index, 4);
  const std::string_view course = rng.Pick(kCourses);
  const int hours = rng.Between(2, 10) * 4;
  const std::string_view centre = "<w:jc w:val=\"center\"/>";

  Para(out, std::string(Style("Title")) + "<w:jc w:val=\"center\"/>", "Certificate of Completion");
  Para(out, centre, "This is to certify that");
  Para(out, Style("RecipientName"),
       r.title.empty() || r.title == "Mr." || r.title == "Ms." || r.title == "Mrs."
           ? r.firstName + " " + r.lastName
           : r.FullName());
  Para(out, centre, "has successfully completed the course");
  Para(out, centre, std::string(course) + " (" + std::to_string(hours) + " hours)",
       "<w:b/><w:bCs/><w:sz w:val=\"32\"/><w:szCs w:val=\"32\"/>");
  Para(out, centre, "awarded on " + r.date);

  ParaOpen(out, "<w:spacing w:before=\"120\" w:after=\"120\"/><w:jc w:val=\"center\"/>");
  InlinePicture(out, kRidSeal, 100 + r.index, "Seal " + std::to_string(r.index),
                kSealSize * kEmuPerPixel * 3 / 4, kSealSize * kEmuPerPixel * 3 / 4);
  out += "</w:p>";

  const int tw = TextWidth(w.layout);
  const std::vector<int> widths = {tw / 2, tw - tw / 2};
  TableOpen(out, widths, {"TableGrid", true});
  Row(out, widths,
      {{"______________________________"}, {"______________________________", false, true}});
  Row(out, widths, {{"Dr. Helena Vargas", true}, {"Marcus Lindqvist", true, true}});
  Row(out, widths, {{"Course Director"}, {"Head of Training, " + w.options.company, false, true}});
  TableClose(out);

  char number[32];
  std::snprintf(number, sizeof number, "QT-C-2024-%05d", r.index);
  RecordEnd(out, last, w.sectPr, "<w:spacing w:before=\"240\"/><w:jc w:val=\"right\"/>",
            std::string("Certificate no. ") + number, "<w:sz w:val=\"16\"/><w:szCs w:val=\"16\"/>");
}

// ----- Benchmark letter -----------------------------------------------------

void BenchmarkRecord(Writer& w, const Record& r, bool last) {
  std::string& out = w.out;
  AddressBlock(out, r);
  Para(out, "<w:jc w:val=\"right\"/>", r.date);
  Para(out, {}, r.Salutation());
  Para(out, {},
       "Thank you for your order. This letter confirms the details we hold for "
       "your account; please check them and tell us about any change.");
  const int tw = TextWidth(w.layout);
  const std::vector<int> widths = {tw * 2 / 5, tw - tw * 2 / 5};
  TableOpen(out, widths, {});
  Row(out, widths, {{"Account number", true}, {r.account}});
  Row(out, widths, {{"Balance", true}, {Money(r.balanceCents), false, true}});
  Row(out, widths, {{"Statement date", true}, {r.date}});
  TableClose(out);
  Para(out, "<w:spacing w:before=\"240\" w:after=\"480\"/>", "Kind regards,");
  Para(out, {}, "Customer Relations, " + w.options.company);
  RecordEnd(out, last, w.sectPr, {}, {});
}

std::string DocumentXml(Kind kind, int records, const Options& options, const Layout& layout) {
  std::string out;
  // About 3 to 5 KB per record; reserving avoids repeated copies of a large body.
  out.reserve(4096 + static_cast<std::size_t>(records) * (kind == Kind::kInvoices ? 7000 : 4500));
  out += kXmlDecl;
  out += "<w:document";
  out += kRootNamespaces;
  out += "><w:body>";
  Writer writer{options, layout, SectionProperties(layout), out};
  // Records are drawn one at a time so that a large merge never holds them all.
  for (int i = 1; i <= records; ++i) {
    const Record record = MakeRecord(i, options.seed);
    const bool last = i == records;
    switch (kind) {
      case Kind::kLetters:
        LetterRecord(writer, record, last);
        break;
      case Kind::kInvoices:
        InvoiceRecord(writer, record, last);
        break;
      case Kind::kCertificates:
        CertificateRecord(writer, record, last);
        break;
      case Kind::kBenchmarkLetter:
        BenchmarkRecord(writer, record, last);
        break;
    }
  }
  out += writer.sectPr;
  out += "</w:body></w:document>";
  return out;
}

std::string HeaderXml(const Options& options, const Layout& layout) {
  std::string out(kXmlDecl);
  out += "<w:hdr";
  out += kRootNamespaces;
  out += ">";
  const Image logo = LogoImage();
  // The style's centre and right stops are cleared so that the one tab puts the
  // name at the right margin of this layout.
  ParaOpen(out, std::string(Style("Header")) +
                    "<w:tabs><w:tab w:val=\"clear\" w:pos=\"4513\"/><w:tab w:val=\"clear\" "
                    "w:pos=\"9026\"/><w:tab w:val=\"right\" w:pos=\"" +
                    std::to_string(TextWidth(layout)) + "\"/></w:tabs>");
  InlinePicture(out, kRidLogo, 1, "Logo", kLogoSize * kEmuPerPixel * 2 / 3,
                kLogoSize * kEmuPerPixel * 2 / 3);
  out += "<w:r><w:tab/></w:r>";
  Run(out, options.company,
      "<w:b/><w:bCs/><w:color w:val=\"1F5F7A\"/><w:sz w:val=\"32\"/><w:szCs w:val=\"32\"/>");
  out += "</w:p>";
  Para(out,
       std::string(Style("Header")) +
           "<w:pBdr><w:bottom w:val=\"single\" w:sz=\"8\" w:space=\"4\" w:color=\"1F5F7A\"/>"
           "</w:pBdr><w:spacing w:after=\"240\"/><w:jc w:val=\"right\"/>",
       "12 Harbour Street · Bristol BS1 4QA · United Kingdom · www.quillory.example",
       "<w:color w:val=\"595959\"/><w:sz w:val=\"16\"/><w:szCs w:val=\"16\"/>");
  out += "</w:hdr>";
  return out;
}

std::string FooterXml(const Options& options) {
  std::string out(kXmlDecl);
  out += "<w:ftr";
  out += kRootNamespaces;
  out += ">";
  ParaOpen(out, std::string(Style("Footer")) + "<w:jc w:val=\"center\"/>");
  Run(out, "Page ");
  Field(out, "PAGE", "1");
  Run(out, " of ");
  Field(out, "SECTIONPAGES", "1");
  out += "</w:p>";
  Para(out, std::string(Style("Footer")) + "<w:jc w:val=\"center\"/>",
       options.company + " · Registered in England and Wales no. 08140217 · VAT GB 294 7713 02",
       "<w:color w:val=\"7F7F7F\"/><w:sz w:val=\"14\"/><w:szCs w:val=\"14\"/>");
  out += "</w:ftr>";
  return out;
}

std::string StylesXml() {
  std::string out(kXmlDecl);
  out += "<w:styles xmlns:w=\"";
  out += kNsW;
  out +=
      R"("><w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii="Calibri" w:hAnsi="Calibri" w:eastAsia="Calibri" w:cs="Calibri"/><w:sz w:val="22"/><w:szCs w:val="22"/><w:lang w:val="en-GB" w:eastAsia="en-US" w:bidi="ar-SA"/></w:rPr></w:rPrDefault><w:pPrDefault><w:pPr><w:spacing w:after="160" w:line="259" w:lineRule="auto"/></w:pPr></w:pPrDefault></w:docDefaults>)"
      R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/></w:style>)"
      R"(<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/><w:uiPriority w:val="1"/><w:semiHidden/><w:unhideWhenUsed/></w:style>)"
      R"(<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/><w:uiPriority w:val="99"/><w:semiHidden/><w:unhideWhenUsed/><w:tblPr><w:tblInd w:w="0" w:type="dxa"/><w:tblCellMar><w:top w:w="0" w:type="dxa"/><w:left w:w="108" w:type="dxa"/><w:bottom w:w="0" w:type="dxa"/><w:right w:w="108" w:type="dxa"/></w:tblCellMar></w:tblPr></w:style>)"
      R"(<w:style w:type="numbering" w:default="1" w:styleId="NoList"><w:name w:val="No List"/><w:uiPriority w:val="99"/><w:semiHidden/><w:unhideWhenUsed/></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Title"><w:name w:val="Title"/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:spacing w:after="240" w:line="240" w:lineRule="auto"/><w:contextualSpacing/></w:pPr><w:rPr><w:rFonts w:ascii="Cambria" w:hAnsi="Cambria"/><w:color w:val="1F5F7A"/><w:spacing w:val="-10"/><w:kern w:val="28"/><w:sz w:val="56"/><w:szCs w:val="56"/></w:rPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Heading1"><w:name w:val="heading 1"/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:keepNext/><w:keepLines/><w:spacing w:before="240" w:after="120"/><w:outlineLvl w:val="0"/></w:pPr><w:rPr><w:b/><w:bCs/><w:color w:val="1F5F7A"/><w:sz w:val="26"/><w:szCs w:val="26"/></w:rPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Heading2"><w:name w:val="heading 2"/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:keepNext/><w:keepLines/><w:spacing w:before="240" w:after="60"/><w:outlineLvl w:val="1"/></w:pPr><w:rPr><w:b/><w:bCs/><w:color w:val="2E74B5"/><w:sz w:val="24"/><w:szCs w:val="24"/></w:rPr></w:style>)"
      R"(<w:style w:type="paragraph" w:customStyle="1" w:styleId="RecipientName"><w:name w:val="Recipient Name"/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:spacing w:before="240" w:after="240"/><w:jc w:val="center"/></w:pPr><w:rPr><w:rFonts w:ascii="Cambria" w:hAnsi="Cambria"/><w:i/><w:iCs/><w:color w:val="7F5F00"/><w:sz w:val="60"/><w:szCs w:val="60"/></w:rPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="ListParagraph"><w:name w:val="List Paragraph"/><w:basedOn w:val="Normal"/><w:uiPriority w:val="34"/><w:qFormat/><w:pPr><w:spacing w:after="60"/><w:ind w:left="720"/><w:contextualSpacing/></w:pPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Header"><w:name w:val="header"/><w:basedOn w:val="Normal"/><w:uiPriority w:val="99"/><w:unhideWhenUsed/><w:pPr><w:tabs><w:tab w:val="center" w:pos="4513"/><w:tab w:val="right" w:pos="9026"/></w:tabs><w:spacing w:after="0" w:line="240" w:lineRule="auto"/></w:pPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Footer"><w:name w:val="footer"/><w:basedOn w:val="Normal"/><w:uiPriority w:val="99"/><w:unhideWhenUsed/><w:pPr><w:tabs><w:tab w:val="center" w:pos="4513"/><w:tab w:val="right" w:pos="9026"/></w:tabs><w:spacing w:after="0" w:line="240" w:lineRule="auto"/></w:pPr><w:rPr><w:sz w:val="18"/><w:szCs w:val="18"/></w:rPr></w:style>)"
      R"(<w:style w:type="table" w:styleId="TableGrid"><w:name w:val="Table Grid"/><w:basedOn w:val="TableNormal"/><w:uiPriority w:val="39"/><w:pPr><w:spacing w:after="0" w:line="240" w:lineRule="auto"/></w:pPr><w:tblPr><w:tblBorders><w:top w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:left w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:bottom w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:right w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:insideH w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:insideV w:val="single" w:sz="4" w:space="0" w:color="auto"/></w:tblBorders></w:tblPr></w:style>)"
      "</w:styles>";
  return out;
}

std::string NumberingXml(int records) {
  std::string out(kXmlDecl);
  out += "<w:numbering xmlns:w=\"";
  out += kNsW;
  out +=
      R"x("><w:abstractNum w:abstractNumId="0"><w:multiLevelType w:val="hybridMultilevel"/><w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="720" w:hanging="360"/></w:pPr></w:lvl><w:lvl w:ilvl="1"><w:start w:val="1"/><w:numFmt w:val="lowerLetter"/><w:lvlText w:val="%2)"/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="1440" w:hanging="360"/></w:pPr></w:lvl></w:abstractNum>)x";
  for (int i = 1; i <= records; ++i) {
    out += "<w:num w:numId=\"" + std::to_string(i) +
           "\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride "
           "w:val=\"1\"/></w:lvlOverride></w:num>";
  }
  out += "</w:numbering>";
  return out;
}

std::string SettingsXml() {
  std::string out(kXmlDecl);
  out += "<w:settings xmlns:w=\"";
  out += kNsW;
  out +=
      R"("><w:zoom w:percent="100"/><w:defaultTabStop w:val="720"/><w:characterSpacingControl w:val="doNotCompress"/><w:compat><w:compatSetting w:name="compatibilityMode" w:uri="http://schemas.microsoft.com/office/word" w:val="15"/></w:compat></w:settings>)";
  return out;
}

std::string FontTableXml() {
  std::string out(kXmlDecl);
  out += "<w:fonts xmlns:w=\"";
  out += kNsW;
  out +=
      R"("><w:font w:name="Calibri"><w:panose1 w:val="020F0502020204030204"/><w:charset w:val="00"/><w:family w:val="swiss"/><w:pitch w:val="variable"/></w:font><w:font w:name="Cambria"><w:panose1 w:val="02040503050406030204"/><w:charset w:val="00"/><w:family w:val="roman"/><w:pitch w:val="variable"/></w:font><w:font w:name="Times New Roman"><w:panose1 w:val="02020603050405020304"/><w:charset w:val="00"/><w:family w:val="roman"/><w:pitch w:val="variable"/></w:font></w:fonts>)";
  return out;
}

std::string ContentTypesXml(const Layout& layout) {
  std::string out(kXmlDecl);
  out +=
      R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Default Extension="png" ContentType="image/png"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/><Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/><Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/><Override PartName="/word/fontTable.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.fontTable+xml"/>)";
  if (layout.numbering) {
    out +=
        R"(<Override PartName="/word/numbering.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml"/>)";
  }
  out +=
      R"(<Override PartName="/word/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/><Override PartName="/word/footer1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml"/><Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/><Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/></Types>)";
  return out;
}

std::string PackageRelsXml() {
  std::string out(kXmlDecl);
  out +=
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/><Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/></Relationships>)";
  return out;
}

void Relationship(std::string& out, std::string_view id, std::string_view type,
                  std::string_view target) {
  out += "<Relationship Id=\"";
  out += id;
  out += "\" Type=\"";
  out += kNsR;
  out += "/";
  out += type;
  out += "\" Target=\"";
  out += target;
  out += "\"/>";
}

std::string DocumentRelsXml(const Layout& layout) {
  std::string out(kXmlDecl);
  out += R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
  Relationship(out, kRidStyles, "styles", "styles.xml");
  Relationship(out, kRidSettings, "settings", "settings.xml");
  Relationship(out, kRidFonts, "fontTable", "fontTable.xml");
  if (layout.numbering) Relationship(out, kRidNumbering, "numbering", "numbering.xml");
  Relationship(out, kRidHeader, "header", "header1.xml");
  Relationship(out, kRidFooter, "footer", "footer1.xml");
  if (layout.seal) Relationship(out, kRidSeal, "image", "media/seal.png");
  out += "</Relationships>";
  return out;
}

std::string HeaderRelsXml() {
  std::string out(kXmlDecl);
  out += R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
  Relationship(out, kRidLogo, "image", "media/logo.png");
  out += "</Relationships>";
  return out;
}

std::string CoreXml(Kind kind, int records, const Options& options) {
  static constexpr std::array<std::string_view, 4> kTitles = {
      "Customer letters", "Invoices", "Certificates of completion", "Letters"};
  std::string out(kXmlDecl);
  out +=
      R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" xmlns:dcmitype="http://purl.org/dc/dcmitype/" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><dc:title>)";
  out += docx::EscapeXml(std::string(kTitles[static_cast<int>(kind)]) + " (" +
                         std::to_string(records) + " merged records)");
  out += "</dc:title><dc:creator>";
  out += docx::EscapeXml(options.company);
  out += "</dc:creator><cp:lastModifiedBy>";
  out += docx::EscapeXml(options.company);
  out +=
      R"(</cp:lastModifiedBy><cp:revision>1</cp:revision><dcterms:created xsi:type="dcterms:W3CDTF">2024-11-04T09:30:00Z</dcterms:created><dcterms:modified xsi:type="dcterms:W3CDTF">2024-11-04T09:30:00Z</dcterms:modified></cp:coreProperties>)";
  return out;
}

std::string AppXml(int records, const Options& options) {
  std::string out(kXmlDecl);
  out +=
      R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes"><Template>Normal.dotm</Template><TotalTime>0</TotalTime><Pages>)";
  out += std::to_string(records);
  out +=
      "</Pages><Application>Parvane sample maker</Application><DocSecurity>0</DocSecurity>"
      "<Company>";
  out += docx::EscapeXml(options.company);
  out += "</Company><AppVersion>16.0000</AppVersion></Properties>";
  return out;
}

// ---------------------------------------------------------------------------
// Pictures: shapes filled with 4 x 4 supersampling for smooth edges.

struct Rgba {
  std::uint8_t r, g, b, a;
};

class Canvas {
 public:
  Canvas(int width, int height) {
    image_ = {width, height, std::vector<std::uint8_t>(width * height * 4, 0)};
  }

  // Paints `colour` over the pixels where `inside(x, y)` holds (x, y in pixels).
  template <typename Inside>
  void Fill(Rgba colour, Inside inside) {
    for (int y = 0; y < image_.height; ++y) {
      for (int x = 0; x < image_.width; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx)
            if (inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0)) ++hits;
        if (hits) Blend(x, y, colour, hits / 16.0);
      }
    }
  }
  Image Take() { return std::move(image_); }

 private:
  void Blend(int x, int y, Rgba c, double coverage) {
    std::uint8_t* p = &image_.rgba[(static_cast<std::size_t>(y) * image_.width + x) * 4];
    const double a = coverage * c.a / 255.0;
    const double under = p[3] / 255.0 * (1 - a);
    const double out = a + under;
    if (out <= 0) return;
    p[0] = static_cast<std::uint8_t>(std::lround((c.r * a + p[0] * under) / out));
    p[1] = static_cast<std::uint8_t>(std::lround((c.g * a + p[1] * under) / out));
    p[2] = static_cast<std::uint8_t>(std::lround((c.b * a + p[2] * under) / out));
    p[3] = static_cast<std::uint8_t>(std::lround(out * 255));
  }
  Image image_;
};

bool InEllipse(double x, double y, double cx, double cy, double rx, double ry, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  const double dx = x - cx, dy = y - cy;
  const double u = dx * c + dy * s, v = -dx * s + dy * c;
  return (u * u) / (rx * rx) + (v * v) / (ry * ry) <= 1.0;
}

void AppendChunk(std::string& png, std::string_view type, const std::string& data) {
  const std::uint32_t length = static_cast<std::uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((length >> shift) & 0xFF);
  std::string body(type);
  body += data;
  png += body;
  const std::uint32_t crc = libdeflate_crc32(0, body.data(), body.size());
  for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((crc >> shift) & 0xFF);
}

void AppendBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

const std::string& LogoPng() {
  static const std::string png = EncodePng(LogoImage());
  return png;
}

const std::string& SealPng() {
  static const std::string png = EncodePng(SealImage());
  return png;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string KindName(Kind kind) {
  switch (kind) {
    case Kind::kLetters:
      return "letters";
    case Kind::kInvoices:
      return "invoices";
    case Kind::kCertificates:
      return "certificates";
    case Kind::kBenchmarkLetter:
      return "benchmark";
  }
  return {};
}

std::optional<Kind> ParseKind(const std::string& name) {
  for (Kind kind : {Kind::kLetters, Kind::kInvoices, Kind::kCertificates, Kind::kBenchmarkLetter})
    if (KindName(kind) == name) return kind;
  return std::nullopt;
}

std::string Record::FullName() const {
  return (title.empty() ? "" : title + " ") + firstName + " " + lastName;
}

std::string Record::Salutation() const {
  return "Dear " + (title.empty() ? firstName + " " + lastName : title + " " + lastName) + ",";
}

std::vector<Record> MakeRecords(int count, std::uint64_t seed) {
  std::vector<Record> records;
  for (int i = 1; i <= count; ++i) records.push_back(MakeRecord(i, seed));
  return records;
}

docx::PartList BuildMerge(Kind kind, int records, const Options& options) {
  if (records < 1) {
    throw std::invalid_argument("A merge needs at least one record; " + std::to_string(records) +
                                " were asked for.");
  }
  const Layout layout = LayoutFor(kind);
  docx::PartList parts;
  parts.emplace_back("[Content_Types].xml", ContentTypesXml(layout));
  parts.emplace_back("_rels/.rels", PackageRelsXml());
  parts.emplace_back("docProps/core.xml", CoreXml(kind, records, options));
  parts.emplace_back("docProps/app.xml", AppXml(records, options));
  parts.emplace_back("word/document.xml", DocumentXml(kind, records, options, layout));
  parts.emplace_back("word/_rels/document.xml.rels", DocumentRelsXml(layout));
  parts.emplace_back("word/styles.xml", StylesXml());
  parts.emplace_back("word/settings.xml", SettingsXml());
  parts.emplace_back("word/fontTable.xml", FontTableXml());
  if (layout.numbering) parts.emplace_back("word/numbering.xml", NumberingXml(records));
  parts.emplace_back("word/header1.xml", HeaderXml(options, layout));
  parts.emplace_back("word/_rels/header1.xml.rels", HeaderRelsXml());
  parts.emplace_back("word/footer1.xml", FooterXml(options));
  parts.emplace_back("word/media/logo.png", LogoPng());
  if (layout.seal) parts.emplace_back("word/media/seal.png", SealPng());
  return parts;
}

const std::vector<ShippedSample>& ShippedSamples() {
  static const std::vector<ShippedSample> samples = {
      {"Customer Letters.docx", Kind::kLetters, 12, 2021},
      {"Invoices.docx", Kind::kInvoices, 8, 3108},
      {"Certificates.docx", Kind::kCertificates, 6, 831},
  };
  return samples;
}

ShippedSample HelpSample() {
  return {"Sample Mail Merge Document.docx", Kind::kLetters, 5, 1402};
}

void WriteMerge(const std::string& path, Kind kind, int records, const Options& options) {
  docx::WriteZip(path, BuildMerge(kind, records, options));
}

std::string EncodePng(const Image& image) {
  if (image.width < 1 || image.height < 1 ||
      image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
    throw std::invalid_argument("A PNG needs a positive size and 4 bytes per pixel (" +
                                std::to_string(image.width) + " x " + std::to_string(image.height) +
                                ", " + std::to_string(image.rgba.size()) + " bytes given).");
  }
  // Each row is preceded by its filter type (0: none).
  const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
  std::string raw;
  raw.reserve((stride + 1) * image.height);
  for (int y = 0; y < image.height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(&image.rgba[y * stride]), stride);
  }
  // A zlib stream, as PNG's IDAT wants it, at the strongest level.
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(12);
  if (compressor == nullptr) throw std::runtime_error("Could not compress the PNG's pixel data.");
  std::string deflated(libdeflate_zlib_compress_bound(compressor, raw.size()), '\0');
  const std::size_t size = libdeflate_zlib_compress(compressor, raw.data(), raw.size(),
                                                    deflated.data(), deflated.size());
  libdeflate_free_compressor(compressor);
  if (size == 0) throw std::runtime_error("Could not compress the PNG's pixel data.");
  deflated.resize(size);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  AppendBigEndian(header, static_cast<std::uint32_t>(image.width));
  AppendBigEndian(header, static_cast<std::uint32_t>(image.height));
  header += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, filters, no interlace
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", deflated);
  AppendChunk(png, "IEND", {});
  return png;
}

// A butterfly (parvane) in amber on a teal rounded square.
Image LogoImage() {
  constexpr int kSize = kLogoSize;
  constexpr double kPi = 3.14159265358979323846;
  Canvas canvas(kSize, kSize);
  canvas.Fill({0x1F, 0x5F, 0x7A, 0xFF}, [](double x, double y) {
    const double r = 18, lo = 4, hi = kSize - 4;
    const double cx = std::clamp(x, lo + r, hi - r), cy = std::clamp(y, lo + r, hi - r);
    return x >= lo && x <= hi && y >= lo && y <= hi &&
           (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  });
  const Rgba upper{0xF2, 0xA9, 0x00, 0xFF}, lower{0xF7, 0xD0, 0x6B, 0xFF};
  canvas.Fill(upper, [&](double x, double y) {
    return InEllipse(x, y, 31, 38, 17, 12, -kPi / 5) || InEllipse(x, y, 65, 38, 17, 12, kPi / 5);
  });
  canvas.Fill(lower, [&](double x, double y) {
    return InEllipse(x, y, 36, 62, 11, 9, kPi / 4) || InEllipse(x, y, 60, 62, 11, 9, -kPi / 4);
  });
  canvas.Fill({0x12, 0x2B, 0x36, 0xFF},
              [](double x, double y) { return InEllipse(x, y, 48, 50, 4, 20, 0); });
  canvas.Fill({0x12, 0x2B, 0x36, 0xFF}, [](double x, double y) {
    // Two antennae as thin tilted ellipses.
    return InEllipse(x, y, 42, 24, 1.2, 8, -0.45) || InEllipse(x, y, 54, 24, 1.2, 8, 0.45);
  });
  return canvas.Take();
}

// A gold rosette with a five-pointed star.
Image SealImage() {
  constexpr int kSize = kSealSize;
  constexpr double kPi = 3.14159265358979323846;
  const double c = kSize / 2.0;
  Canvas canvas(kSize, kSize);
  canvas.Fill({0xB8, 0x86, 0x0B, 0xFF}, [&](double x, double y) {
    const double dx = x - c, dy = y - c;
    const double angle = std::atan2(dy, dx);
    return std::sqrt(dx * dx + dy * dy) <= 72 + 6 * std::cos(24 * angle);
  });
  canvas.Fill({0xE6, 0xC2, 0x4C, 0xFF},
              [&](double x, double y) { return (x - c) * (x - c) + (y - c) * (y - c) <= 58 * 58; });
  canvas.Fill({0xB8, 0x86, 0x0B, 0xFF}, [&](double x, double y) {
    const double d2 = (x - c) * (x - c) + (y - c) * (y - c);
    return d2 <= 52 * 52 && d2 >= 49 * 49;
  });
  canvas.Fill({0x8C, 0x5E, 0x00, 0xFF}, [&](double x, double y) {
    // A star: the radius swings between the inner and outer radius five times.
    const double dx = x - c, dy = y - c;
    const double angle = std::atan2(dy, dx) + kPi / 2;
    const double t = std::fmod(angle / (2 * kPi / 5) + 100, 1.0);
    const double radius = 16 + 22 * std::abs(1 - 2 * t);
    return std::sqrt(dx * dx + dy * dy) <= radius;
  });
  return canvas.Take();
}

}  // namespace samples
