#include "designations.h"

#include "jet_engine/text/unicode_text.h"

#include <string_view>
#include <vector>

namespace designations {
namespace {

// splitmix64: tiny, well mixed and fully specified, unlike the standard
// distributions whose output differs between library versions.
class Random {
public:
    Random(std::uint64_t seed, std::uint64_t stream, std::uint64_t index)
        : m_state(seed ^ (stream * 0xD1B54A32D192ED03ull) ^ (index * 0x9E3779B97F4A7C15ull))
    {
        next();
    }

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    std::uint32_t below(std::size_t n) { return static_cast<std::uint32_t>(next() % n); }
    bool percent(std::uint32_t p) { return below(100) < p; }
    std::string_view pick(const std::vector<std::string_view> &v) { return v[below(v.size())]; }

private:
    std::uint64_t m_state;
};

enum Stream : std::uint64_t { DesignationStream = 1, MissingStream = 2, PriceStream = 3 };

enum class Size {
    MetricLength,
    Metric,
    WoodScrew,
    Washer,
    Anchor,
    Drill,
    Cable,
    Tube,
    Spanner,
    Tool,
    Bracket,
    Plumbing,
    Clothing,
    Paint,
    Weight,
    Measure,
    Volume,
    Abrasive,
    Tape,
    Nail,
    Tie,
    Rope,
    Protection,
    Lamp,
    Wiring,
};

struct Family {
    std::uint32_t weight;
    std::vector<std::string_view> heads;
    std::vector<std::string_view> qualifiers;
    Size size;
    std::vector<std::string_view> finishes;
    bool sold_in_packs;
};

// Written in lower case with accents; rendering decides the case.
const std::vector<std::string_view> kMetalFinishes = {
    "inox A2", "inox A4", "zingué", "zingué blanc", "acier brut", "bichromaté", "laiton",
    "noir", "galvanisé à chaud", "classe 8.8", "classe 10.9", "acier zingué",
};

const std::vector<Family> &families()
{
    static const std::vector<Family> all = {
        {10,
         {"vis tête hexagonale", "vis tête fraisée", "vis tête cylindrique", "vis tête bombée",
          "vis à métaux", "vis tête cylindrique six pans creux", "vis sans tête", "vis à oreilles",
          "vis tête fraisée bombée", "vis à tôle", "vis autoforeuse", "vis autotaraudeuse"},
         {"pozi", "cruciforme", "fendue", "six lobes", "six pans creux", "filetage total", "filetage partiel"},
         Size::MetricLength,
         kMetalFinishes,
         true},
        {7,
         {"vis à bois", "vis agglo", "vis de terrasse", "vis pour plaque de plâtre", "vis à bardage",
          "vis tête fraisée à bois", "vis à double filet", "tire-fond"},
         {"pozi", "torx", "tête large", "pointe foret", "empreinte carrée"},
         Size::WoodScrew,
         {"zingué", "jaune", "inox A2", "inox A4", "phosphaté", "bichromaté", "noir", "cuivré"},
         true},
        {8,
         {"écrou hexagonal", "écrou frein", "écrou borgne", "écrou à oreilles", "écrou carré", "écrou à embase",
          "écrou à sertir", "écrou cage", "écrou à river", "contre-écrou", "écrou à souder", "écrou moleté"},
         {"bas", "haut", "crénelé", "à bague nylon", "pas fin"},
         Size::Metric,
         kMetalFinishes,
         true},
        {6,
         {"rondelle plate", "rondelle large", "rondelle grower", "rondelle éventail", "rondelle contact",
          "rondelle cuvette", "rondelle d'étanchéité", "rondelle élastique", "rondelle de carrossier"},
         {"étroite", "moyenne", "extra-large", "dentée"},
         Size::Washer,
         kMetalFinishes,
         true},
        {5,
         {"tige filetée", "boulon tête hexagonale", "goujon d'ancrage", "goujon fileté", "piton à œil",
          "piton fermé", "crochet à visser", "goupille fendue", "goupille élastique", "rivet aveugle",
          "rivet tête plate", "axe clippé", "manchon taraudé"},
         {"à visser", "à sceller", "tête large", "long"},
         Size::MetricLength,
         kMetalFinishes,
         true},
        {6,
         {"cheville nylon", "cheville à expansion", "cheville à frapper", "cheville métallique",
          "cheville pour plaque de plâtre", "cheville à bascule", "cheville universelle",
          "cheville béton cellulaire", "cheville à clou", "cheville autoforeuse"},
         {"avec vis", "sans vis", "à collerette", "longue"},
         Size::Anchor,
         {"gris", "blanc", "acier zingué", "nylon", "polyamide"},
         true},
        {6,
         {"foret métal", "foret béton", "foret bois", "foret à façade", "foret à étages", "mèche à bois plate",
          "mèche hélicoïdale", "scie cloche", "trépan", "fraise à chanfreiner", "foret à centrer",
          "foret à verre et carrelage", "foret multi-matériaux"},
         {"HSS", "HSS cobalt", "carbure", "trois pointes", "court", "série longue", "queue cylindrique",
          "queue hexagonale", "rectifié", "taillé meulé"},
         Size::Drill,
         {"coffret", "à l'unité", "sous blister", "étui"},
         false},
        {5,
         {"câble électrique", "câble souple", "câble rigide", "câble téléphonique", "câble réseau",
          "fil de câblage", "cordon prolongateur"},
         {"H07V-U", "H07V-R", "H07RN-F", "R2V", "U1000", "gainé"},
         Size::Cable,
         {"noir", "blanc", "gris", "rouge", "bleu", "vert-jaune", "marron", "au mètre", "en couronne"},
         false},
        {3,
         {"câble acier", "câble de levage", "chaîne à maillons", "chaîne galvanisée", "fil de fer recuit",
          "corde polyester", "corde tressée", "sangle d'arrimage"},
         {"gainé", "plastifié", "tressé", "torsadé", "à cliquet"},
         Size::Rope,
         {"galvanisé", "inox", "noir", "blanc", "orange", "au mètre", "en bobine"},
         false},
        {5,
         {"tube cuivre", "tube PVC", "tube acier", "tube aluminium", "tube inox", "tube PER", "tube multicouche",
          "tuyau d'arrosage", "gaine ICTA", "tube IRL", "tube carré", "tube rectangulaire", "tube rond",
          "gaine annelée"},
         {"écroui", "recuit", "pression", "évacuation", "nu", "gainé", "prégainé"},
         Size::Tube,
         {"gris", "blanc", "noir", "brut", "galvanisé", "rouge", "bleu"},
         false},
        {6,
         {"clé à molette", "clé mixte", "clé plate", "clé à pipe", "clé à œil", "clé six pans",
          "clé à cliquet", "clé dynamométrique", "clé à griffe", "clé d'arrêt", "clé à sangle",
          "clé de serrage", "clé à bougie", "clé en croix", "jeu de clés mixtes", "douille", "cliquet réversible",
          "clé à tube", "clé de barrage"},
         {"coudée", "longue", "à frapper", "à chaîne", "isolée", "courte", "double"},
         Size::Spanner,
         {"chromé", "chrome-vanadium", "phosphaté noir", "manche bi-matière", "satiné"},
         false},
        {8,
         {"tournevis plat", "tournevis cruciforme", "tournevis testeur", "pince multiprise", "pince coupante",
          "pince à dénuder", "pince étau", "pince à sertir", "scie à métaux", "scie égoïne", "scie à guichet",
          "cutter", "lame de cutter", "ciseau à bois", "burin", "pointeau", "chasse-goupille", "serre-joint",
          "étau d'établi", "lime plate", "lime demi-ronde", "râpe à bois", "truelle", "spatule",
          "couteau à enduire", "taloche", "pied à coulisse", "pied de biche", "arrache-clou", "coupe-tube",
          "cisaille à tôle", "équerre de menuisier"},
         {"professionnel", "isolé 1000 V", "magnétique", "à cliquet", "renforcé", "à lame rétractable"},
         Size::Tool,
         {"manche bois", "manche fibre", "manche bi-matière", "chromé", "sous blister"},
         false},
        {2,
         {"marteau de coffreur", "marteau rivoir", "marteau de menuisier", "massette", "maillet caoutchouc",
          "fil à plomb"},
         {"professionnel", "anti-rebond", "à panne fendue"},
         Size::Weight,
         {"manche bois", "manche fibre", "manche acier", "sous blister"},
         false},
        {2,
         {"niveau à bulle", "mètre ruban", "mètre pliant", "cordeau à tracer", "règle de maçon", "décamètre"},
         {"magnétique", "professionnel", "aluminium", "double lecture"},
         Size::Measure,
         {"bois", "jaune", "sous blister", "avec étui"},
         false},
        {6,
         {"équerre d'assemblage", "équerre renforcée", "équerre d'angle", "cornière perforée", "plaque perforée",
          "patte à scellement", "sabot de charpente", "charnière", "paumelle", "gond à visser", "gond à sceller",
          "verrou", "targette", "crémone", "loqueteau", "butée de porte", "poignée de porte", "bouton de meuble",
          "serrure à larder", "cylindre européen", "cadenas", "support d'étagère", "crémaillère", "glissière",
          "roulette pivotante", "pied de meuble", "chaînette", "ferme-porte", "entrebâilleur"},
         {"à visser", "à souder", "à frein", "à clé", "réversible", "renforcé", "à bille", "gauche", "droite"},
         Size::Bracket,
         {"acier galvanisé", "laiton", "inox", "blanc", "noir", "bronze", "nickelé", "chromé mat", "zingué"},
         true},
        {6,
         {"raccord laiton", "raccord à compression", "raccord union", "coude cuivre", "coude PVC", "té égal",
          "manchon", "mamelon", "réduction", "bouchon", "robinet d'arrêt", "robinet de machine à laver",
          "vanne à sphère", "clapet anti-retour", "siphon", "bonde", "flexible inox", "joint fibre",
          "joint torique", "ruban PTFE", "collier de fixation", "collier de serrage", "colle PVC",
          "pâte à joint", "filasse", "purgeur", "réducteur de pression", "nourrice"},
         {"mâle", "femelle", "mâle-femelle", "à souder", "à visser", "90°", "45°", "égal", "réduit"},
         Size::Plumbing,
         {"laiton", "chromé", "cuivre", "gris", "blanc", "PVC pression", "à l'unité"},
         true},
        {5,
         {"disjoncteur", "interrupteur différentiel", "fusible", "contacteur", "télérupteur", "minuterie",
          "parafoudre"},
         {"modulaire", "phase-neutre", "bipolaire", "tétrapolaire", "courbe C", "type AC", "type A"},
         Size::Protection,
         {"pour tableau", "à vis", "automatique", "à l'unité"},
         false},
        {2,
         {"ampoule LED", "tube fluorescent", "douille", "hublot étanche", "réglette", "spot encastrable",
          "projecteur LED", "détecteur de mouvement"},
         {"blanc chaud", "blanc froid", "dimmable", "étanche", "orientable"},
         Size::Lamp,
         {"blanc", "noir", "gris", "inox brossé", "transparent"},
         true},
        {3,
         {"prise de courant", "prise 2P+T", "prise RJ45", "interrupteur va-et-vient", "bouton poussoir",
          "boîte de dérivation", "boîte d'encastrement", "domino", "borne de connexion", "fiche mâle",
          "fiche femelle", "goulotte", "moulure", "tableau électrique"},
         {"encastrable", "en saillie", "étanche", "à vis", "automatique", "à levier"},
         Size::Wiring,
         {"blanc", "anthracite", "gris", "titane", "ivoire", "transparent"},
         true},
        {6,
         {"mastic silicone", "mastic acrylique", "mousse expansive", "colle néoprène", "colle à bois",
          "colle époxy", "dégrippant", "graisse au lithium", "huile de coupe", "nettoyant", "lubrifiant",
          "mastic polyuréthane", "colle de fixation"},
         {"sanitaire", "haute température", "multi-usages", "extra-fort", "rapide", "professionnel"},
         Size::Volume,
         {"translucide", "blanc", "gris", "noir", "marron", "transparent", "beige", "en aérosol"},
         true},
        {3,
         {"papier abrasif", "disque à tronçonner", "disque à lamelles", "disque diamant", "disque à ébarber",
          "brosse métallique", "bande abrasive", "éponge abrasive"},
         {"pour métal", "pour bois", "pour béton", "pour inox", "multi-usages"},
         Size::Abrasive,
         {"corindon", "zircon", "carbure de silicium", "à l'unité"},
         true},
        {2,
         {"ruban adhésif toile", "ruban de masquage", "adhésif d'emballage", "adhésif double face",
          "ruban isolant", "bande de calfeutrage"},
         {"extra-fort", "haute température", "repositionnable", "professionnel"},
         Size::Tape,
         {"gris", "noir", "blanc", "beige", "transparent", "rouge", "bleu"},
         true},
        {3,
         {"pointes tête plate", "pointes tête homme", "clous annelés", "agrafes", "pointes à tête large",
          "semences de tapissier", "crampillons"},
         {"lisse", "crantée", "torsadée", "tête large"},
         Size::Nail,
         {"acier brut", "galvanisé", "inox", "cuivré", "zingué"},
         true},
        {2,
         {"collier nylon", "collier de câblage", "collier à embase", "collier réutilisable"},
         {"résistant UV", "à crémaillère", "démontable"},
         Size::Tie,
         {"noir", "blanc", "naturel"},
         true},
        {3,
         {"gants de manutention", "gants nitrile", "lunettes de protection", "casque antibruit",
          "bouchons d'oreilles", "masque FFP2", "masque FFP3", "genouillères", "gilet haute visibilité",
          "chaussures de sécurité", "casque de chantier", "harnais antichute", "combinaison jetable"},
         {"enduit", "anti-coupure", "anti-buée", "S3", "respirant", "réglable"},
         Size::Clothing,
         {"jaune", "orange", "gris", "bleu", "noir"},
         true},
        {3,
         {"peinture glycéro", "peinture acrylique", "lasure", "vernis", "sous-couche", "antirouille",
          "pinceau plat", "pinceau rond", "pinceau à rechampir", "rouleau laqueur", "rouleau anti-goutte",
          "bac à peinture", "diluant", "white-spirit", "acétone", "enduit de rebouchage", "enduit de lissage"},
         {"intérieur", "extérieur", "mono-couche", "séchage rapide", "microporeux", "spécial fer"},
         Size::Paint,
         {"blanc brillant", "blanc satiné", "blanc mat", "noir", "gris anthracite", "chêne clair", "incolore",
          "rouge basque", "vert wagon", "ivoire"},
         false},
    };
    return all;
}

const std::vector<std::string_view> kPacks = {"boîte de", "sachet de", "lot de", "carton de", "x"};

std::string number(std::uint32_t n)
{
    return std::to_string(n);
}

// Prints tenths with a decimal comma: 35 -> "3,5".
std::string tenths(std::uint32_t t)
{
    return t % 10 == 0 ? number(t / 10) : number(t / 10) + "," + number(t % 10);
}

template <std::size_t N>
std::uint32_t pickOf(Random &r, const std::uint32_t (&values)[N])
{
    return values[r.below(N)];
}

std::string size(Random &r, Size kind)
{
    static const std::uint32_t metric[] = {3, 4, 5, 6, 8, 10, 12, 14, 16, 20, 24};
    static const std::uint32_t lengths[] = {6,  8,  10, 12, 16, 20, 25,  30,  35,  40,  45,
                                            50, 55, 60, 70, 80, 90, 100, 120, 150, 200, 1000};
    switch (kind) {
    case Size::MetricLength:
        return "M" + number(pickOf(r, metric)) + "x" + number(pickOf(r, lengths));
    case Size::Metric:
        return "M" + number(pickOf(r, metric));
    case Size::WoodScrew: {
        static const std::uint32_t d[] = {25, 30, 35, 40, 45, 50, 60, 80};
        static const std::uint32_t l[] = {12, 16, 20, 25, 30, 35, 40, 45, 50, 60, 70, 80, 100, 120};
        return tenths(pickOf(r, d)) + "x" + number(pickOf(r, l));
    }
    case Size::Washer: {
        const std::uint32_t d = pickOf(r, metric);
        return r.percent(60) ? "M" + number(d) : number(d) + "x" + number(d * (2 + r.below(2)));
    }
    case Size::Anchor: {
        static const std::uint32_t d[] = {5, 6, 8, 10, 12, 14};
        static const std::uint32_t l[] = {25, 30, 40, 50, 60, 80, 100};
        return number(pickOf(r, d)) + "x" + number(pickOf(r, l));
    }
    case Size::Drill: {
        static const std::uint32_t d[] = {20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 100, 120, 140, 160, 200};
        static const std::uint32_t l[] = {110, 160, 210, 260, 310, 460, 600};
        const std::string diameter = tenths(pickOf(r, d));
        return r.percent(70) ? diameter + " mm" : diameter + "x" + number(pickOf(r, l));
    }
    case Size::Cable: {
        static const std::vector<std::string_view> sections = {"3G1,5", "3G2,5", "5G6",    "2x0,75",
                                                               "2x1,5", "4P",    "1,5 mm²", "2,5 mm²"};
        static const std::uint32_t m[] = {5, 10, 25, 50, 100};
        return std::string(r.pick(sections)) + " - " + number(pickOf(r, m)) + " m";
    }
    case Size::Tube: {
        static const std::vector<std::string_view> sections = {"12x14", "14x16", "16x18", "20x22",   "D32",
                                                               "D40",   "D100",  "30x30x2", "40x20x2", "16 mm",
                                                               "20 mm", "25 mm"};
        const std::string s(r.pick(sections));
        return r.percent(25) ? s + " rouleau de 25 m" : s + " - " + number(1 + r.below(4)) + " m";
    }
    case Size::Spanner: {
        switch (r.below(4)) {
        case 0: {
            const std::uint32_t a = 6 + r.below(27);
            return number(a) + "x" + number(a + 1);
        }
        case 1: {
            static const std::uint32_t l[] = {100, 150, 200, 250, 300, 375, 450};
            return number(pickOf(r, l)) + " mm";
        }
        case 2: {
            static const std::vector<std::string_view> inches = {"1/4\"", "3/8\"", "1/2\"", "3/4\""};
            return std::string(r.pick(inches));
        }
        default:
            return number(6 + r.below(27)) + " mm";
        }
    }
    case Size::Tool:
        return number(10 * (5 + r.below(56))) + " mm";
    case Size::Weight: {
        static const std::uint32_t g[] = {200, 300, 500, 800, 1000, 1250, 1500};
        return number(pickOf(r, g)) + " g";
    }
    case Size::Measure: {
        static const std::uint32_t m[] = {2, 3, 5, 8, 10, 20};
        static const std::uint32_t cm[] = {30, 40, 60, 80, 100, 120, 150, 200};
        return r.percent(50) ? number(pickOf(r, m)) + " m" : number(pickOf(r, cm)) + " cm";
    }
    case Size::Volume: {
        static const std::uint32_t ml[] = {50, 125, 150, 250, 300, 310, 400, 500, 750};
        return r.percent(80) ? number(pickOf(r, ml)) + " ml" : number(1 + r.below(5)) + " l";
    }
    case Size::Abrasive: {
        static const std::uint32_t g[] = {40, 60, 80, 120, 180, 240};
        static const std::uint32_t d[] = {115, 125, 180, 230};
        static const std::uint32_t t[] = {10, 16, 25, 30, 60};
        return r.percent(50) ? "grain " + number(pickOf(r, g))
                             : number(pickOf(r, d)) + "x" + tenths(pickOf(r, t));
    }
    case Size::Tape: {
        static const std::uint32_t mm[] = {19, 25, 38, 48, 50, 75};
        static const std::uint32_t m[] = {10, 20, 25, 33, 50, 66};
        return number(pickOf(r, mm)) + " mm x " + number(pickOf(r, m)) + " m";
    }
    case Size::Nail: {
        static const std::uint32_t d[] = {12, 14, 17, 20, 22, 25, 27, 31, 34, 40};
        static const std::uint32_t l[] = {20, 25, 30, 35, 40, 50, 60, 70, 80, 90, 100, 120};
        static const std::uint32_t kg[] = {1, 2, 5, 25};
        return r.percent(70) ? tenths(pickOf(r, d)) + "x" + number(pickOf(r, l))
                             : number(pickOf(r, kg)) + " kg";
    }
    case Size::Tie: {
        static const std::uint32_t l[] = {100, 140, 160, 200, 280, 300, 370, 450};
        static const std::uint32_t w[] = {25, 36, 48, 76, 90};
        return number(pickOf(r, l)) + "x" + tenths(pickOf(r, w));
    }
    case Size::Rope: {
        static const std::uint32_t d[] = {2, 3, 4, 5, 6, 8, 10, 12};
        static const std::uint32_t m[] = {5, 10, 20, 25, 50, 100};
        return number(pickOf(r, d)) + " mm - " + number(pickOf(r, m)) + " m";
    }
    case Size::Protection: {
        static const std::vector<std::string_view> ratings = {"2 A",  "10 A", "16 A",  "20 A",
                                                              "25 A", "32 A", "40 A",  "63 A",
                                                              "30 mA", "300 mA", "1 module", "2 modules"};
        return std::string(r.pick(ratings));
    }
    case Size::Lamp: {
        static const std::vector<std::string_view> sockets = {"E27", "E14", "GU10", "G13", "B22"};
        static const std::uint32_t w[] = {4, 5, 7, 9, 12, 15, 18, 36};
        return std::string(r.pick(sockets)) + " " + number(pickOf(r, w)) + " W";
    }
    case Size::Wiring: {
        static const std::vector<std::string_view> sizes = {"16 A", "20 A", "2,5 mm²", "6 mm²", "40x25",
                                                            "60x40", "80x20", "2 m",    "D67",   "4 rangées"};
        return std::string(r.pick(sizes));
    }
    case Size::Bracket: {
        static const std::uint32_t s[] = {20, 25, 30, 40, 50, 60, 70, 80, 90, 100, 120, 150};
        switch (r.below(3)) {
        case 0:
            return number(pickOf(r, s)) + "x" + number(pickOf(r, s)) + "x" + number(pickOf(r, s));
        case 1:
            return number(pickOf(r, s)) + "x" + number(pickOf(r, s));
        default:
            return number(pickOf(r, s)) + " mm";
        }
    }
    case Size::Plumbing: {
        static const std::vector<std::string_view> sizes = {"12x17", "15x21", "20x27", "26x34", "1/2\"",
                                                            "3/4\"", "D12",   "D14",   "D16",   "D18",
                                                            "D22",   "D32",   "D40",   "40 mm", "50 cm"};
        return std::string(r.pick(sizes));
    }
    case Size::Clothing: {
        static const std::vector<std::string_view> sizes = {"taille S", "taille M", "taille L", "taille XL"};
        switch (r.below(3)) {
        case 0:
            return "T" + number(7 + r.below(5));
        case 1:
            return std::string(r.pick(sizes));
        default:
            return "pointure " + number(38 + r.below(9));
        }
    }
    case Size::Paint: {
        static const std::vector<std::string_view> sizes = {"0,5 l", "1 l",   "2,5 l", "5 l",    "10 l",
                                                            "25 mm", "40 mm", "60 mm", "110 mm", "180 mm"};
        return std::string(r.pick(sizes));
    }
    }
    return {};
}

std::string packOf(Random &r)
{
    static const std::uint32_t counts[] = {2, 5, 10, 20, 25, 50, 100, 200, 500};
    const std::string_view pack = r.pick(kPacks);
    const std::string count = number(pickOf(r, counts));
    return pack == "x" ? "x" + count : std::string(pack) + " " + count;
}

// Case mapping for the few non-ASCII letters the vocabulary holds.
struct Letter {
    char32_t lower;
    char32_t upper;
    std::string_view plain;
};

constexpr Letter kLetters[] = {
    {U'à', U'À', "A"}, {U'â', U'Â', "A"}, {U'ä', U'Ä', "A"}, {U'ç', U'Ç', "C"}, {U'è', U'È', "E"},
    {U'é', U'É', "E"}, {U'ê', U'Ê', "E"}, {U'ë', U'Ë', "E"}, {U'î', U'Î', "I"}, {U'ï', U'Ï', "I"},
    {U'ô', U'Ô', "O"}, {U'ö', U'Ö', "O"}, {U'ù', U'Ù', "U"}, {U'û', U'Û', "U"}, {U'ü', U'Ü', "U"},
    {U'œ', U'Œ', "OE"},
};

std::string upperCase(std::string_view text, bool keepAccents)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = jet_engine::nextCodePoint(text, i);
        if (c >= U'a' && c <= U'z') {
            out.push_back(static_cast<char>(c - U'a' + U'A'));
            continue;
        }
        const Letter *letter = nullptr;
        for (const Letter &l : kLetters) {
            if (l.lower == c || l.upper == c)
                letter = &l;
        }
        if (!letter)
            jet_engine::appendUtf8(out, c);
        else if (keepAccents)
            jet_engine::appendUtf8(out, letter->upper);
        else
            out += letter->plain;
    }
    return out;
}

std::string capitalised(std::string_view text)
{
    constexpr std::string_view lowerE = "é";
    if (text.starts_with(lowerE))
        return "É" + std::string(text.substr(lowerE.size()));
    std::string out(text);
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

std::size_t characters(std::string_view s)
{
    std::size_t n = 0;
    for (char c : s)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

} // namespace

std::string designation(std::uint64_t seed, std::size_t index)
{
    Random r(seed, DesignationStream, index);
    const std::vector<Family> &all = families();
    std::uint32_t total = 0;
    for (const Family &f : all)
        total += f.weight;
    std::uint32_t ticket = r.below(total);
    const Family *family = &all.front();
    for (const Family &f : all) {
        if (ticket < f.weight) {
            family = &f;
            break;
        }
        ticket -= f.weight;
    }

    std::vector<std::string> parts;
    parts.emplace_back(r.pick(family->heads));
    if (r.percent(40))
        parts.emplace_back(r.pick(family->qualifiers));
    parts.push_back(size(r, family->size));
    const std::size_t required = parts.size();
    if (r.percent(60))
        parts.emplace_back(r.pick(family->finishes));
    if (family->sold_in_packs && r.percent(20))
        parts.push_back(packOf(r));
    if (r.percent(8))
        parts.push_back("réf. " + number(10000 + r.below(90000)));

    const std::uint32_t style = r.below(100);
    std::string text;
    for (;;) {
        text.clear();
        for (const std::string &p : parts) {
            if (!text.empty())
                text.push_back(' ');
            text += p;
        }
        if (characters(text) <= static_cast<std::size_t>(kMaxDesignationChars) || parts.size() == required)
            break;
        parts.pop_back();
    }
    if (style < 10)
        return capitalised(text);
    return upperCase(text, style < 25);
}

bool missing(std::uint64_t seed, std::size_t index)
{
    Random r(seed, MissingStream, index);
    return r.below(1000) < 3;
}

mdb_writer::Table articleTable(std::uint64_t seed, std::size_t rowCount)
{
    mdb_writer::Table table;
    table.name = "ARTICLE";
    table.columns = {
        {"ARTICLE", mdb_writer::ColumnType::Text, kMaxDesignationChars},
        {"REFERENCE", mdb_writer::ColumnType::LongInteger},
        {"PRIX", mdb_writer::ColumnType::Double},
    };
    table.rowCount = rowCount;
    table.generate = [seed](std::size_t index, mdb_writer::Row &row) {
        if (!missing(seed, index))
            row[0] = designation(seed, index);
        // 7919 is prime to 9,000,000, so references stay unique over 9 million rows.
        row[1] = static_cast<std::int32_t>(1000000 + (index * 7919) % 9000000);
        Random r(seed, PriceStream, index);
        const std::uint32_t cents = 10 + r.below(r.percent(80) ? 2000 : 60000);
        row[2] = cents / 100.0;
    };
    return table;
}

} // namespace designations
