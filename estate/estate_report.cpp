#include "estate/estate_report.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numeric>
#include <optional>
#include <tuple>

#include "estate/estate_assets.h"
#include "estate/map_frame.h"
#include "estate/page_text.h"
#include "growth/normal_stand.h"
#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "io/atomic_file.h"
#include "report/editing.h"
#include "settings/species.h"

namespace arbora {
namespace {

// The page's words in one language. Every field is a word or sentence of the page;
// missingWords checks that a language leaves none empty.
struct Words {
    std::string_view lang, title, input, run, version, years, accepted, rejected, area;
    std::string_view keyFigures, carbon, co2e, volume, biomass, uptake, uptakePerHectare,
        uptakeNeedsTwoYears;
    std::string_view map, mapText, mapLegend, mapTooltip, mapNotDrawn, north;
    std::string_view charts, carbonChart, volumeChart, uptakeChart, ageClassChart, carbonChartText,
        volumeChartText, uptakeChartText, ageClassChartText;
    std::string_view yearAxis, periodAxis, periodEndAxis, ageClassAxis;
    std::string_view scenarios, scenariosIntro, scenarioCarbonChart, scenarioCarbonChartText,
        scenarioTotalChart, scenarioTotalChartText, removalsChart, removalsChartText, productsChart,
        productsChartText, comparison, scenario, removedCarbon, productsCarbon, carbonDifference,
        carbonWithProductsDifference, co2eDifference;
    std::string_view finance, financeIntro, revenue, costs, netCashFlow, npv, npvDifference,
        liquidationValue, money, financeRate, moneyUnits, npvWithLiquidation,
        npvWithLiquidationDifference, financeCompared;
    std::string_view baselineLabel, removalsBySpeciesFelled;
    std::string_view summary, year, species, stands, allSpecies, removedVolume;
    std::string_view rejectedRows, noRejected, line, stand, column, reason, moreRejected;
    std::string_view methods, assumptions, parameter, value;
    std::string_view areaAssumed;
    std::string_view figureAtYear;  // a key figure's label and its year
    std::string_view extrapolated;
    std::string_view methodsText[5];
    std::string_view scenarioMethodsText[4];
    std::string_view accountingMethodsText[2];
    std::string_view speciesNames[speciesCount];
    std::string_view assortmentNames[5];  // rough timber, machining, fuel, waste, unsorted
    std::string_view poolNames[productPoolCount];
    std::string_view unitHectares, unitCubicMetres, unitTonnes, unitTonnesCarbon, unitTonnesCo2e,
        unitPerYear, unitPerHectareYear, unitMetres, unitKilometres;
};

constexpr Words english = {
    .lang = "en",
    .title = "Estate report",
    .input = "Inventory",
    .run = "Run (UTC)",
    .version = "Program version",
    .years = "Years from each stand's age",
    .accepted = "Stands accepted",
    .rejected = "Rows rejected",
    .area = "Total area",
    .keyFigures = "Key figures",
    .carbon = "Carbon stock",
    .co2e = "Carbon dioxide equivalent",
    .volume = "Standing volume",
    .biomass = "Biomass",
    .uptake = "Mean yearly CO2e uptake",
    .uptakePerHectare = "Mean yearly CO2e uptake per hectare",
    .uptakeNeedsTwoYears = "The uptake needs at least two years in the list.",
    .map = "Map",
    .mapText =
        "The stands coloured by their carbon density in the untreated baseline at year {}, in "
        "classes of about equal numbers of stands (quantiles). Point at a stand for its id, "
        "carbon density, standing volume per hectare and area.",
    .mapLegend = "Carbon density at year {} (t C/ha)",
    .mapTooltip = "{}: {} t C/ha, {} m3/ha, {} ha",
    .mapNotDrawn = "Stands without a polygon, not drawn:",
    .north = "N",
    .charts = "Charts",
    .carbonChart = "Carbon stock by species",
    .volumeChart = "Standing volume by species",
    .uptakeChart = "CO2e uptake in each period",
    .ageClassChart = "Area by species and age class at year 0",
    .carbonChartText =
        "Stacked area chart of the carbon stock (t C) of each species over the "
        "years of the list, untreated",
    .volumeChartText =
        "Stacked area chart of the standing volume (m3) of each species over the "
        "years of the list, untreated",
    .uptakeChartText =
        "Bar chart of the mean yearly CO2e uptake (t CO2e per year) of the whole "
        "inventory in each period between two years of the list, untreated",
    .ageClassChartText =
        "Stacked bar chart of the area (ha) of each species in each 10-year age class at year 0",
    .yearAxis = "Year",
    .periodAxis = "Period (years)",
    .periodEndAxis = "Period ending in year",
    .ageClassAxis = "Age class (years)",
    .scenarios = "Scenarios",
    .scenariosIntro =
        "Each scenario applies the treatments of its name to the stands; the "
        "untreated baseline is \"none\". Differences are the scenario minus none.",
    .scenarioCarbonChart = "Standing carbon per scenario",
    .scenarioCarbonChartText =
        "Line chart of the standing carbon stock (t C) of the whole inventory in each scenario "
        "over the years of the list; the baseline dashed",
    .scenarioTotalChart = "Carbon in forest and wood products per scenario",
    .scenarioTotalChartText =
        "Line chart of the standing carbon plus the carbon stored in "
        "wood products (t C) in each scenario over the years of the list",
    .removalsChart = "Removals by assortment",
    .removalsChartText =
        "Stacked bar chart of the volume removed (m3) in each period of the "
        "list, by assortment, one stack per scenario",
    .productsChart = "Carbon in wood products",
    .productsChartText =
        "Stacked bar chart of the carbon (t C) held in sawnwood, wood-based "
        "panels and paper at each year of the list, one stack per scenario",
    .comparison = "Against the baseline",
    .scenario = "Scenario",
    .removedCarbon = "Removed carbon to date",
    .productsCarbon = "Carbon in products",
    .carbonDifference = "Standing carbon difference",
    .carbonWithProductsDifference = "Forest + products difference",
    .co2eDifference = "CO2e difference",
    .finance = "Finance",
    .financeIntro =
        "The whole inventory per scenario: revenue and costs undiscounted, the net present "
        "value at the discount rate, and the liquidation value of the wood standing at the "
        "last year.",
    .revenue = "Revenue",
    .costs = "Costs",
    .netCashFlow = "Net cash flow",
    .npv = "Net present value",
    .npvDifference = "NPV difference",
    .liquidationValue = "Liquidation value",
    .money = "money",
    .financeRate = "The discount rate {} percent a year (real); every amount in {}.",
    .moneyUnits = "money units of the prices file",
    .npvWithLiquidation = "NPV + liquidation",
    .npvWithLiquidationDifference = "NPV + liquidation, difference",
    .financeCompared =
        "Scenarios are compared on the net present value plus the liquidation value, as a "
        "difference from none: the wood still standing at the last year is worth money too, "
        "so a scenario that fells more would otherwise seem worth more than it is. The "
        "liquidation value is never below 0: an owner keeps trees that would sell at a loss.",
    .baselineLabel = "{} (untreated)",
    .removalsBySpeciesFelled =
        "Removals count under the species felled; stands, area and standing values under the "
        "species growing at that year, so a stand felled and planted with another species "
        "counts its removal under the first and itself under the second.",
    .summary = "Totals by year and species",
    .year = "Year",
    .species = "Species",
    .stands = "Stands",
    .allSpecies = "All species",
    .removedVolume = "Removed",
    .rejectedRows = "Rejected rows",
    .noRejected = "No row was rejected.",
    .line = "Line",
    .stand = "Stand",
    .column = "Column",
    .reason = "Reason",
    .moreRejected = "More rows were rejected, not listed here:",
    .methods = "Methods",
    .assumptions = "Assumptions of this run",
    .parameter = "Parameter",
    .value = "Value",
    .areaAssumed = "The inventory has no area column: every stand counts as 1 ha.",
    .figureAtYear = "{0}, year {1}",
    .extrapolated =
        "Stands projected beyond age {}, the last age of the yield tables, their values "
        "extrapolated from the growth curves: {}.",
    .methodsText =
        {"Each stand is projected from its own age by keeping, for its mean diameter, mean "
         "height, tree count and volume, the ratio to the normal (fully stocked) stand of its "
         "species that it has at that age; year 0 is the stand as measured.",
         "Biomass is computed by tree component (stem, bark, branch, foliage and root) from the "
         "mean diameter, the mean height and the number of trees, with equations of each "
         "species; the stand's biomass is the sum of the components.",
         "Each component's carbon is its biomass times the component's carbon fraction (0.4995 "
         "stem, 0.4925 bark, 0.508 branch, 0.5145 foliage, 0.4425 root); the carbon dioxide "
         "equivalent is CO2e = C × 44/12.",
         "Totals are the per-hectare values of each stand times its area, summed over the "
         "stands.",
         "The standing figures cover living trees only: they include no soil carbon and no "
         "dead wood."},
    .scenarioMethodsText =
        {"A thinning removes n trees whose mean diameter is q times the stand's (q: 0.8 from "
         "below, 1.2 from above, 1.0 systematic, unless the treatment gives one); with p = n/N "
         "and b = p q², the stand keeps its height, its volume falls to V (1 − b) and its mean "
         "diameter becomes D √((1 − b)/(1 − p)). No growth response after thinning is "
         "modelled (conservative).",
         "A clear-felling removes everything standing. A planted stand enters the models at "
         "age 20 as the normal stand of its species times the stocking; before that age its "
         "carbon counts as zero (conservative). After a treatment the stand grows on from "
         "the state it left by the same projection.",
         "Removals are the standing values before a treatment minus those after it. The "
         "removed volume is sorted into assortments by the merchantable volume tables at the "
         "diameter of the removed trees; wood of larch, or below a table's smallest diameter "
         "class, is unsorted.",
         "A stand that cannot be treated as a scenario asks is left out of every scenario, so "
         "that scenarios compare the same stands."},
    .accountingMethodsText =
        {"The carbon of removed stems goes into wood products by assortment (by default rough "
         "timber to sawnwood, timber for machining to wood-based panels, the rest emitted at "
         "once) and decays by the IPCC first-order method with the half-lives listed below; "
         "the carbon of bark, branches, foliage and roots is counted as emitted at once, as no "
         "dead wood or soil is modelled (what is not modelled counts as not stored).",
         "Money is in the currency of the prices file, with real prices held constant; each "
         "cash flow falls at the end of its year after the stand's measured age and is "
         "discounted at the real rate; there are no taxes, subsidies or carbon payments."},
    .speciesNames = {"Pinus tabulaeformis", "Pinus armandii", "Larix principis-ruprechtii",
                     "Quercus aliena"},
    .assortmentNames = {"rough timber", "timber for machining", "fuel wood", "waste wood",
                        "unsorted"},
    .poolNames = {"sawnwood", "wood-based panels", "paper and paperboard", "emitted"},
    .unitHectares = "ha",
    .unitCubicMetres = "m3",
    .unitTonnes = "t",
    .unitTonnesCarbon = "t C",
    .unitTonnesCo2e = "t CO2e",
    .unitPerYear = "t CO2e per year",
    .unitPerHectareYear = "t CO2e per ha and year",
    .unitMetres = "m",
    .unitKilometres = "km",
};

constexpr Words chinese = {
    .lang = "zh",
    .title = "森林资源报告",
    .input = "调查数据",
    .run = "运行时间（UTC）",
    .version = "程序版本",
    .years = "预测年份（自各小班现龄起）",
    .accepted = "参与计算的小班",
    .rejected = "剔除的记录",
    .area = "总面积",
    .keyFigures = "主要指标",
    .carbon = "碳储量",
    .co2e = "二氧化碳当量",
    .volume = "蓄积量",
    .biomass = "生物量",
    .uptake = "年均二氧化碳当量吸收量",
    .uptakePerHectare = "每公顷年均二氧化碳当量吸收量",
    .uptakeNeedsTwoYears = "计算吸收量至少需要两个预测年份。",
    .map = "小班分布图",
    .mapText =
        "各小班按不经营时第 {} 年的碳密度着色，各级小班数大致相等（分位数分级）。"
        "鼠标指向小班可见其编号、碳密度、每公顷蓄积量和面积。",
    .mapLegend = "第 {} 年碳密度（吨碳/公顷）",
    .mapTooltip = "{}：{} 吨碳/公顷，{} 立方米/公顷，{} 公顷",
    .mapNotDrawn = "无多边形、未绘出的小班：",
    .north = "北",
    .charts = "图表",
    .carbonChart = "各树种碳储量",
    .volumeChart = "各树种蓄积量",
    .uptakeChart = "各时段二氧化碳当量吸收量",
    .ageClassChart = "第 0 年各树种各龄级面积",
    .carbonChartText = "堆积面积图：不经营时各树种在各预测年份的碳储量（吨碳）",
    .volumeChartText = "堆积面积图：不经营时各树种在各预测年份的蓄积量（立方米）",
    .uptakeChartText =
        "柱状图：不经营时相邻两个预测年份之间各时段全部小班的年均二氧化碳当量"
        "吸收量（吨二氧化碳当量/年）",
    .ageClassChartText = "堆积柱状图：第 0 年各树种在各 10 年龄级的面积（公顷）",
    .yearAxis = "年",
    .periodAxis = "时段（年）",
    .periodEndAxis = "时段截止年份",
    .ageClassAxis = "龄级（年）",
    .scenarios = "经营方案",
    .scenariosIntro =
        "各方案对小班实施同名方案的经营措施；不经营的基准方案为“none”。"
        "差值为方案减去基准。",
    .scenarioCarbonChart = "各方案林分碳储量",
    .scenarioCarbonChartText = "折线图：各方案全部小班在各预测年份的林分碳储量（吨碳），基准为虚线",
    .scenarioTotalChart = "各方案森林与木质林产品碳储量",
    .scenarioTotalChartText = "折线图：各方案在各预测年份的林分碳储量加木质林产品碳储量（吨碳）",
    .removalsChart = "按材种的采伐量",
    .removalsChartText = "堆积柱状图：各预测时段按材种的采伐蓄积（立方米），每个方案一组",
    .productsChart = "木质林产品碳储量",
    .productsChartText = "堆积柱状图：各预测年份锯材、人造板和纸中的碳（吨碳），每个方案一组",
    .comparison = "与基准比较",
    .scenario = "方案",
    .removedCarbon = "累计采伐碳量",
    .productsCarbon = "林产品碳储量",
    .carbonDifference = "林分碳储量差值",
    .carbonWithProductsDifference = "森林加林产品差值",
    .co2eDifference = "二氧化碳当量差值",
    .finance = "经济分析",
    .financeIntro =
        "各方案全部小班：收入和成本不贴现，净现值按贴现率计算，清算价值为最后一年立木的价值。",
    .revenue = "收入",
    .costs = "成本",
    .netCashFlow = "净现金流",
    .npv = "净现值",
    .npvDifference = "净现值差值",
    .liquidationValue = "清算价值",
    .money = "货币",
    .financeRate = "贴现率 {}%（实际年利率）；各金额单位：{}。",
    .moneyUnits = "价格文件的货币单位",
    .npvWithLiquidation = "净现值加清算价值",
    .npvWithLiquidationDifference = "净现值加清算价值差值",
    .financeCompared =
        "各方案按净现值加清算价值与基准 none 的差值比较：最后一年的立木同样有价值，否则采伐"
        "越多的方案会显得越有利。清算价值不低于 0：出售会亏损的林木，林主会保留。",
    .baselineLabel = "{}（不经营）",
    .removalsBySpeciesFelled =
        "采伐量按被伐树种计；小班数、面积和林分数值按当年生长的树种计，因此皆伐后改植其他树种"
        "的小班，其采伐量计入原树种，小班本身计入新树种。",
    .summary = "按年份和树种的合计",
    .year = "年",
    .species = "树种",
    .stands = "小班数",
    .allSpecies = "全部树种",
    .removedVolume = "采伐量",
    .rejectedRows = "剔除的记录",
    .noRejected = "没有剔除的记录。",
    .line = "行",
    .stand = "小班",
    .column = "列",
    .reason = "原因",
    .moreRejected = "另有剔除的记录未在此列出：",
    .methods = "方法",
    .assumptions = "本次运行的假设",
    .parameter = "参数",
    .value = "取值",
    .areaAssumed = "清单没有面积列：每个小班均按 1 公顷计。",
    .figureAtYear = "第 {1} 年{0}",
    .extrapolated = "推算到 {} 年生以后（超出收获表的最大林龄）、数值由生长曲线外推的小班：{} 个。",
    .methodsText =
        {"各小班从其自身林龄起推算：平均胸径、平均树高、株数和蓄积量保持其在该林龄时与同树种"
         "标准林分（正常林分）的比值；第 0 年为实测林分。",
         "生物量按器官（干、皮、枝、叶、根）由平均胸径、平均树高和株数以各树种的方程计算；林分"
         "生物量为各器官之和。",
         "各器官碳储量为其生物量乘以含碳率（干 0.4995、皮 0.4925、枝 0.508、叶 0.5145、根 "
         "0.4425）；二氧化碳当量 CO2e = C × 44/12。",
         "合计为各小班每公顷数值乘以其面积后的总和。",
         "林分数字只包括活立木：不含土壤碳和枯死木。"},
    .scenarioMethodsText =
        {"抚育间伐伐去 n 株，其平均胸径为林分平均胸径的 q 倍（下层间伐 0.8、上层间伐 1.2、机械"
         "间伐 1.0，措施另行给出者除外）；设 p = n/N、b = p q²，林分树高不变，蓄积降为 "
         "V (1 − b)，平均胸径变为 D √((1 − b)/(1 − p))。不计间伐后的生长促进（保守）。",
         "皆伐伐去全部立木。更新林分在 20 年生时以所栽树种的标准林分乘以造林密度比进入模型；"
         "此前碳储量按零计（保守）。经营措施之后，林分按同一推算方法从措施后的状态继续生长。",
         "采伐量为措施前的林分数值减去措施后的数值。采伐蓄积按被伐林木的直径由出材量表分为"
         "各材种；华北落叶松或小于表中最小径阶的木材不分材种。",
         "某一方案无法实施的小班将从所有方案中剔除，以保证各方案比较的是同一批小班。"},
    .accountingMethodsText =
        {"采伐树干的碳按材种进入木质林产品（默认原木进入锯材，加工用材进入人造板，其余即时排放），"
         "并按 IPCC 一阶衰减法以下列半衰期衰减；树皮、枝、叶和根的碳按即时排放计，因为未模拟"
         "枯死木和土壤（未模拟的部分不计为储存）。",
         "货币为价格文件的货币，实际价格保持不变；各现金流发生在小班实测林龄之后各年年末，按"
         "实际贴现率贴现；不计税费、补贴和碳汇收入。"},
    .speciesNames = {"油松", "华山松", "华北落叶松", "槲栎"},
    .assortmentNames = {"原木", "加工用材", "薪材", "废材", "未分材种"},
    .poolNames = {"锯材", "人造板", "纸和纸板", "即时排放"},
    .unitHectares = "公顷",
    .unitCubicMetres = "立方米",
    .unitTonnes = "吨",
    .unitTonnesCarbon = "吨碳",
    .unitTonnesCo2e = "吨二氧化碳当量",
    .unitPerYear = "吨二氧化碳当量/年",
    .unitPerHectareYear = "吨二氧化碳当量/（公顷·年）",
    .unitMetres = "米",
    .unitKilometres = "千米",
};

// The Chinese page's words for the values of the run's assumptions.
struct KeyWords {
    std::string_view key, chinese;
};
// Pools, assortments and price items in Chinese, as the assumptions' values name them.
constexpr KeyWords chineseKeyEnds[] = {
    {"sawnwood", "锯材"},
    {"panels", "人造板"},
    {"paper", "纸和纸板"},
    {"emitted", "即时排放"},
    {"rough_timber", "原木"},
    {"timber_machining", "加工用材"},
    {"fuel_wood", "薪材"},
    {"waste_wood", "废材"},
    {"unsorted", "未分材种"},
    {"harvesting_cost", "采伐成本"},
    {"thinning_cost", "间伐成本"},
    {"clearcut_cost", "皆伐成本"},
    {"regeneration_cost", "更新造林成本"},
    {"management_cost", "年管护成本"},
    {"discount_rate", "贴现率"},
};
// The fixed words of rejection reasons, in the order they are replaced: the longer
// sentences before the words they hold.
constexpr KeyWords chineseReasonWords[] = {
    {"is outside the growth curves of this species", "超出该树种生长曲线的范围"},
    {": a stand without trees has no volume", "：无林木的小班不应有蓄积"},
    {"names no stand of the inventory", "不是清单中的小班"},
    {"; map other codes or names with --species-map FILE",
     "；其他代码或名称请用 --species-map 文件对应"},
    {", by number, Latin or Chinese name", "（编号、拉丁名或中文名均可）"},
    {" is not a species: use ", " 不是可用的树种：可用 "},
    {"is not a whole number", "不是整数"},
    {"is not a number", "不是数字"},
    {"is not a finite number", "不是有限数值"},
    {"is not above", "不大于"},
    {"is below", "小于"},
    {"is above", "大于"},
    {"is empty", "为空"},
    {"is 0 with ", "为 0，而 "},
    {"age ", "林龄 "},
};

// An assumption's value on the Chinese page: a pool by its Chinese name, the areas'
// source in words; anything else as it is.
std::string chineseParameterValue(std::string_view value) {
    for (const KeyWords& words : chineseKeyEnds) {
        if (words.key == value) return std::string(words.chinese);
    }
    if (value == "none: every stand counts as 1 ha") return "无：每个小班按 1 公顷计";
    if (value == "polygons") return "多边形面积";
    if (value.starts_with("column ")) return "面积列 " + std::string(value.substr(7));
    return std::string(value);
}

// A rejection's reason on the Chinese page: its fixed words in Chinese, the values it
// quotes as they are.
std::string chineseReason(std::string reason) {
    constexpr std::string_view duplicate = "duplicate of line ";
    if (reason.starts_with(duplicate)) return "与第 " + reason.substr(duplicate.size()) + " 行重复";
    for (const KeyWords& words : chineseReasonWords) {
        std::size_t at = 0;
        while ((at = reason.find(words.key, at)) != std::string::npos) {
            reason.replace(at, words.key.size(), words.chinese);
            at += words.chinese.size();
        }
    }
    // The species' Chinese names the reason lists, in full-width brackets.
    for (std::int32_t species = 1; species <= speciesCount; ++species) {
        const std::string half = " (" + std::string(speciesChineseName(species)) + ")";
        if (const auto at = reason.find(half); at != std::string::npos)
            reason.replace(at, half.size(), "（" + std::string(speciesChineseName(species)) + "）");
    }
    // A reason that begins with its verb ("is empty") speaks of its column.
    if (reason.starts_with("is ")) reason.replace(0, 3, "为 ");
    return reason;
}

const Words& wordsOf(ReportLanguage language) {
    return language == ReportLanguage::chinese ? chinese : english;
}

using page::appendJsonNumber;
using page::fillSlots;
using page::html;
using page::inlineScript;
using page::json;
using page::shown;

const SummaryRow* findRow(const std::vector<SummaryRow>& rows, std::string_view scenario,
                          std::int32_t year, std::optional<std::int32_t> species) {
    for (const SummaryRow& row : rows) {
        if (row.scenario == scenario && row.year == year && row.species == species) return &row;
    }
    return nullptr;
}

using page::mapWidth;
// Stands are outlined where they have room for it: when the frame has at least this many
// square units a stand (some 10 by 10, of which the half-unit outline takes a fifth).
// Denser maps (a county's 100,000 stands have some 6 to 10 each) are drawn without outlines,
// which would hide the colours there, and the browser draws them faster.
constexpr double outlinedStandArea = 100;
// The steps of the colour ramp (.k0 to .k4 in page.css), light to dark.
constexpr std::size_t rampSteps = 5;

// Where the stands' carbon densities are split into classes: quantiles into up to
// rampSteps classes, each break rounded to 0.1 t C/ha as the legend shows it, and left
// out when it would leave a class empty (many equal values). A stand is in the class of
// the number of breaks at or below its value.
std::vector<double> carbonBreaks(const std::vector<MapStand>& stands) {
    std::vector<double> values;
    for (const MapStand& stand : stands) {
        if (std::isfinite(stand.carbon)) values.push_back(stand.carbon);
    }
    std::vector<double> breaks;
    if (values.empty()) return breaks;
    std::sort(values.begin(), values.end());
    for (std::size_t k = 1; k < rampSteps; ++k) {
        const double split = std::round(values[k * values.size() / rampSteps] * 10) / 10;
        if (split > values.front() && split <= values.back() &&
            (breaks.empty() || split > breaks.back())) {
            breaks.push_back(split);
        }
    }
    return breaks;
}

// The ramp step of class k of n: fewer classes spread over the whole ramp.
std::size_t rampStep(std::size_t k, std::size_t n) {
    if (n == 1) return rampSteps / 2;
    return (2 * k * (rampSteps - 1) + n - 1) / (2 * (n - 1));
}

// The stands in the order they are drawn: class by class, and within a class band by
// band of the frame's height (a path each), in input order within a band. A browser
// draws a path again for every tile of the screen it crosses: a class's stands in
// bands of mapBandHeight units cost half the drawing of one path across the frame. The
// map's data block lists the stands in the same order, so that the page finds a stand's
// values by the place of its "M" among the map's paths.
struct MapDrawing {
    struct Path {
        std::size_t end;     // where in `order` the path's stands end
        std::size_t colour;  // its class
    };
    std::vector<double> breaks;
    std::vector<std::size_t> order;  // indices into the stands
    std::vector<Path> paths;
};
constexpr long mapBandHeight = 128;

// The band of a stand: that of the point its path starts at ("M x y"); 0 without one.
long bandOf(const std::string& path) {
    long x = 0, y = 0;
    if (path.empty() || path[0] != 'M') return 0;
    const char* end = path.data() + path.size();
    auto [after, error] = std::from_chars(path.data() + 1, end, x);
    if (error != std::errc() || after == end) return 0;
    if (*after == ' ') ++after;
    if (std::from_chars(after, end, y).ec != std::errc()) return 0;
    return std::max(0L, y / mapBandHeight);
}

MapDrawing mapDrawing(const std::vector<MapStand>& stands) {
    MapDrawing drawing{.breaks = carbonBreaks(stands), .order = {}, .paths = {}};
    // Each stand's class and band as one key, sorted stably: input order within.
    std::vector<std::pair<std::size_t, long>> keyOf;
    keyOf.reserve(stands.size());
    for (const MapStand& stand : stands) {
        const auto colour = static_cast<std::size_t>(
            std::upper_bound(drawing.breaks.begin(), drawing.breaks.end(), stand.carbon) -
            drawing.breaks.begin());
        keyOf.emplace_back(colour, bandOf(stand.path));
    }
    drawing.order.resize(stands.size());
    std::iota(drawing.order.begin(), drawing.order.end(), std::size_t{0});
    std::stable_sort(drawing.order.begin(), drawing.order.end(),
                     [&](std::size_t a, std::size_t b) { return keyOf[a] < keyOf[b]; });
    for (std::size_t at = 0; at < drawing.order.size(); ++at) {
        const bool last = at + 1 == drawing.order.size() ||
                          keyOf[drawing.order[at]] != keyOf[drawing.order[at + 1]];
        if (last) drawing.paths.push_back({at + 1, keyOf[drawing.order[at]].first});
    }
    return drawing;
}

bool hasMap(const EstateReportData& data) {
    return data.map && !data.map->stands.empty() && !data.years.empty();
}

// Run parameters in Chinese, by their name in the run table: whole names, then names
// made of a prefix and a pool, an assortment or a price item (and a species).
struct ChineseTerm {
    std::string_view key, chinese;
};
constexpr ChineseTerm chineseParameters[] = {
    {"treatments", "经营措施文件"},
    {"quotient_below", "下层间伐径比"},
    {"quotient_above", "上层间伐径比"},
    {"quotient_systematic", "机械间伐径比"},
    {"regeneration_age", "更新林分进入模型的林龄"},
    {"regeneration_stocking", "默认更新造林密度（%）"},
    {"overdue_treatments", "第 0 年已逾期、于第 1 年实施的按林龄措施数"},
    {"area_source", "面积来源"},
    {"stands_beyond_yield_tables", "超出收获表林龄的小班数"},
    {"products", "林产品文件"},
    {"products_route_bark_branches_foliage_roots", "树皮、枝、叶和根的碳去向"},
    {"prices", "价格文件"},
};
constexpr ChineseTerm chinesePriceItems[] = {
    {"rough_timber", "原木价格"},
    {"timber_machining", "加工用材价格"},
    {"fuel_wood", "薪材价格"},
    {"waste_wood", "废材价格"},
    {"unsorted", "未分材种木材价格"},
    {"harvesting_cost", "采运成本"},
    {"thinning_cost", "间伐成本"},
    {"clearcut_cost", "皆伐成本"},
    {"regeneration_cost", "更新造林成本"},
    {"management_cost", "年管护成本"},
    {"discount_rate", "贴现率（%）"},
    {"currency", "货币"},
};

// A species' Latin name as a run table column writes it: "Pinus armandii" as
// pinus_armandii.
std::string speciesKey(std::int32_t species) {
    std::string key;
    for (const char c : speciesName(species)) {
        if (c >= 'A' && c <= 'Z') {
            key += static_cast<char>(c - 'A' + 'a');
        } else {
            key += c == ' ' || c == '-' ? '_' : c;
        }
    }
    return key;
}

// The Chinese term of a run parameter; empty for one not known.
std::string chineseParameter(std::string_view key) {
    for (const ChineseTerm& term : chineseParameters) {
        if (key == term.key) return std::string(term.chinese);
    }
    const auto after = [&](std::string_view prefix) {
        return key.starts_with(prefix) ? key.substr(prefix.size()) : std::string_view();
    };
    if (!after("regeneration_stocking_treatments_line_").empty())
        return "经营措施文件所给的更新造林密度（%）";
    for (std::size_t p = 0; p < productPoolCount; ++p) {
        if (after("products_half_life_") == productPools[p].name)
            return std::string(chinese.poolNames[p]) + "半衰期（年）";
    }
    for (std::size_t a = 0; a < assortmentCount; ++a) {
        if (after("products_route_") == assortmentDefinitions[a].name)
            return std::string(chinese.assortmentNames[a]) + "的碳去向";
    }
    const std::string_view item = after("prices_");
    for (const ChineseTerm& term : chinesePriceItems) {
        if (item == term.key) return std::string(term.chinese);
        if (!item.starts_with(std::string(term.key) + "_")) continue;
        for (std::int32_t species = 1; species <= speciesCount; ++species) {
            if (item.substr(term.key.size() + 1) == speciesKey(species))
                return std::string(term.chinese) + "（" +
                       std::string(chinese.speciesNames[species - 1]) + "）";
        }
    }
    return {};
}

// The page's sections, each appended to the body.
class Page {
  public:
    Page(const EstateReportData& data, ReportLanguage language) : d_(data), w_(wordsOf(language)) {
        for (const auto& [name, value] : data.parameters) {
            std::string text;
            if (const auto* whole = std::get_if<std::int64_t>(&value))
                text = std::to_string(*whole);
            if (const auto* real = std::get_if<double>(&value)) text = shortestText(*real);
            if (const auto* words = std::get_if<std::string>(&value)) text = *words;
            parameters_.emplace_back(name, std::move(text));
        }
    }

    std::string body() {
        header();
        h_ += "<main>\n";
        keyFigures();
        if (hasMap(d_)) map();
        charts();
        if (d_.scenarios.size() > 1) scenarios();
        if (!d_.finance.empty()) finance();
        totals();
        rejections();
        methods();
        h_ += "</main>\n";
        return std::move(h_);
    }

  private:
    // "Carbon stock, year 0"; "第 0 年碳储量": the words in the language's order.
    std::string figureAtYear(std::string_view label, std::int32_t year) const {
        std::string text(w_.figureAtYear);
        const std::string values[] = {std::string(label), std::to_string(year)};
        for (std::size_t i = 0; i < std::size(values); ++i) {
            const std::string slot = "{" + std::to_string(i) + "}";
            if (const auto at = text.find(slot); at != std::string::npos)
                text.replace(at, slot.size(), values[i]);
        }
        return text;
    }
    std::string speciesText(std::optional<std::int32_t> species) const {
        return species ? std::string(w_.speciesNames[*species - 1]) : std::string(w_.allSpecies);
    }
    const std::string& baseline() const { return d_.scenarios.front(); }

    void header() {
        h_ += "<header>\n<h1>" + std::string(w_.title) + "</h1>\n<dl class=\"run\">\n";
        item(w_.input, html(d_.input));
        item(w_.run, html(d_.startedUtc));
        item(w_.version, "ARBORA " + html(d_.version));
        item(w_.years, html(yearsText(d_.years)));
        item(w_.accepted, shown(static_cast<double>(d_.accepted), 0));
        item(w_.rejected, shown(static_cast<double>(d_.rejected), 0));
        item(w_.area, shown(d_.area, 1) + " " + std::string(w_.unitHectares));
        h_ += "</dl>\n</header>\n";
    }
    void item(std::string_view term, const std::string& value) {
        h_ += "<dt>" + std::string(term) + "</dt><dd>" + value + "</dd>\n";
    }

    void keyFigures() {
        h_ += "<section>\n<h2>" + std::string(w_.keyFigures) + "</h2>\n<div class=\"cards\">\n";
        if (!d_.years.empty()) {
            const std::int32_t first = d_.years.front(), last = d_.years.back();
            const SummaryRow* begin = findRow(d_.summary, baseline(), first, std::nullopt);
            const SummaryRow* end = findRow(d_.summary, baseline(), last, std::nullopt);
            if (begin != nullptr && end != nullptr) {
                std::vector<const SummaryRow*> shownYears = {begin};
                if (end != begin) shownYears.push_back(end);
                // With scenarios, each figure names its scenario: the untreated baseline,
                // then each scenario at the last year beside it.
                const bool named = d_.scenarios.size() > 1;
                const std::string untreated =
                    named ? ", " + page::filled(w_.baselineLabel, {baseline()}) : std::string();
                for (const SummaryRow* r : shownYears)
                    stockCards(*r, untreated);
                for (std::size_t s = 1; s < d_.scenarios.size(); ++s) {
                    if (const SummaryRow* r =
                            findRow(d_.summary, d_.scenarios[s], last, std::nullopt)) {
                        stockCards(*r, ", " + d_.scenarios[s]);
                    }
                }
                if (last > first) {
                    const double uptake = (end->co2e - begin->co2e) / (last - first);
                    card(std::string(w_.uptake) + untreated, shown(uptake, 1), w_.unitPerYear);
                    card(std::string(w_.uptakePerHectare) + untreated, shown(uptake / d_.area, 2),
                         w_.unitPerHectareYear);
                }
            }
        }
        h_ += "</div>\n";
        if (d_.areaAssumed) note(w_.areaAssumed);
        if (d_.years.size() < 2) note(w_.uptakeNeedsTwoYears);
        h_ += "</section>\n";
    }
    // The carbon, CO2e and volume of a total row; `which` ends each label.
    void stockCards(const SummaryRow& r, const std::string& which) {
        const auto label = [&](std::string_view figure) {
            return figureAtYear(figure, r.year) + html(which);
        };
        card(label(w_.carbon), shown(r.carbon, 1), w_.unitTonnesCarbon);
        card(label(w_.co2e), shown(r.co2e, 1), w_.unitTonnesCo2e);
        card(label(w_.volume), shown(r.volume, 1), w_.unitCubicMetres);
    }
    void card(const std::string& label, const std::string& value, std::string_view unit) {
        h_ += "<div class=\"card\"><div class=\"label\">" + label + "</div><div class=\"value\">" +
              value + " <span class=\"unit\">" + std::string(unit) + "</span></div></div>\n";
    }
    void note(std::string_view text) { h_ += "<p class=\"note\">" + std::string(text) + "</p>\n"; }

    // The stands drawn in their colour class, with a legend, a scale bar and a north
    // arrow. The page's script shows each stand's values from the map's data block: a
    // title element a stand would double the page, and cost an element a stand.
    void map() {
        const EstateMap& m = *d_.map;
        const MapDrawing drawing = mapDrawing(m.stands);
        const std::string year = std::to_string(d_.years.back());
        h_ += "<section>\n<h2>" + std::string(w_.map) + "</h2>\n<figure class=\"map\">\n";
        const double areaPerStand =
            static_cast<double>(m.width) * m.height / static_cast<double>(m.stands.size());
        h_ += std::string("<svg class=\"") +
              (areaPerStand < outlinedStandArea ? "map dense" : "map") + "\" viewBox=\"" +
              page::mapViewBox(m) + "\" role=\"img\" aria-label=\"" + std::string(w_.map) +
              "\" aria-describedby=\"map-text\">\n";
        standPaths(m, drawing);
        h_ += page::mapFurniture(m, {w_.unitMetres, w_.unitKilometres, w_.north});
        h_ += "</svg>\n";
        legend(m, drawing.breaks, year);
        h_ += "<figcaption id=\"map-text\">" + page::filled(w_.mapText, {year}) +
              "</figcaption>\n</figure>\n";
        const auto undrawn = d_.accepted - static_cast<std::int64_t>(m.stands.size());
        if (undrawn > 0) {
            note(std::string(w_.mapNotDrawn) + " " + shown(static_cast<double>(undrawn), 0));
        }
        h_ += "</section>\n";
    }
    // One path a colour class, its stands' outlines one after the other, each from its
    // own "M", centred across the frame. A browser pays for each element of a page, not
    // for the length of a path: a few paths draw 100,000 stands in a fraction of the time
    // one path a stand takes.
    void standPaths(const EstateMap& m, const MapDrawing& drawing) {
        const std::size_t classes = drawing.breaks.size() + 1;
        h_.reserve(h_.size() + m.stands.size() * 24);
        h_ += "<g class=\"stands\" transform=\"translate(" +
              std::to_string((mapWidth - m.width) / 2) + " 0)\">\n";
        std::size_t from = 0;
        for (const MapDrawing::Path& path : drawing.paths) {
            h_ += "<path class=\"k" + std::to_string(rampStep(path.colour, classes)) + "\" d=\"";
            for (std::size_t at = from; at < path.end; ++at)
                h_ += html(m.stands[drawing.order[at]].path);
            from = path.end;
            h_ += "\"/>\n";
        }
        h_ += "</g>\n";
    }
    void legend(const EstateMap& m, const std::vector<double>& breaks, const std::string& year) {
        double lowest = 0, highest = 0;
        bool any = false;
        for (const MapStand& stand : m.stands) {
            if (!std::isfinite(stand.carbon)) continue;
            lowest = any ? std::min(lowest, stand.carbon) : stand.carbon;
            highest = any ? std::max(highest, stand.carbon) : stand.carbon;
            any = true;
        }
        const std::size_t classes = breaks.size() + 1;
        h_ += "<div class=\"legend\">\n<h3>" + page::filled(w_.mapLegend, {year}) + "</h3>\n<ul>\n";
        for (std::size_t k = 0; k < classes; ++k) {
            const double from = k == 0 ? lowest : breaks[k - 1];
            const double to = k + 1 == classes ? highest : breaks[k];
            h_ += "<li><span class=\"swatch k" + std::to_string(rampStep(k, classes)) +
                  "\"></span>" + shown(from, 1) + " – " + shown(to, 1) + "</li>\n";
        }
        h_ += "</ul>\n</div>\n";
    }

    // A chart with a text alternative naming what it shows.
    void figure(std::string_view id, std::string_view title, std::string_view alternative) {
        const std::string text(alternative);
        h_ += "<figure>\n<h3>" + std::string(title) + "</h3>\n<div class=\"chart\"><canvas id=\"" +
              std::string(id) + "\" role=\"img\" aria-label=\"" + text + "\"><p>" + text +
              "</p></canvas></div>\n<figcaption>" + text + "</figcaption>\n</figure>\n";
    }

    void charts() {
        h_ += "<section>\n<h2>" + std::string(w_.charts) + "</h2>\n<div class=\"charts\">\n";
        figure("carbon-chart", w_.carbonChart, w_.carbonChartText);
        figure("volume-chart", w_.volumeChart, w_.volumeChartText);
        if (d_.years.size() >= 2) {
            figure("uptake-chart", w_.uptakeChart, w_.uptakeChartText);
        } else {
            h_ += "<figure>\n<h3>" + std::string(w_.uptakeChart) + "</h3>\n";
            note(w_.uptakeNeedsTwoYears);
            h_ += "</figure>\n";
        }
        figure("age-class-chart", w_.ageClassChart, w_.ageClassChartText);
        h_ += "</div>\n</section>\n";
    }

    void scenarios() {
        h_ += "<section>\n<h2>" + std::string(w_.scenarios) + "</h2>\n";
        h_ += "<p>" + html(w_.scenariosIntro) + "</p>\n<div class=\"charts\">\n";
        figure("scenario-carbon-chart", w_.scenarioCarbonChart, w_.scenarioCarbonChartText);
        figure("scenario-total-chart", w_.scenarioTotalChart, w_.scenarioTotalChartText);
        figure("scenario-removals-chart", w_.removalsChart, w_.removalsChartText);
        figure("products-chart", w_.productsChart, w_.productsChartText);
        h_ += "</div>\n<h3>" + std::string(w_.comparison) + "</h3>\n<table>\n<thead><tr>";
        headCell(w_.scenario, false);
        headCell(w_.year, true);
        for (const std::string_view label :
             {w_.carbon, w_.removedCarbon, w_.productsCarbon, w_.carbonDifference,
              w_.carbonWithProductsDifference}) {
            headCell(std::string(label) + " (" + std::string(w_.unitTonnesCarbon) + ")", true);
        }
        headCell(std::string(w_.co2eDifference) + " (" + std::string(w_.unitTonnesCo2e) + ")",
                 true);
        h_ += "</tr></thead>\n<tbody>\n";
        for (const ComparisonRow& c : d_.comparison) {
            h_ += "<tr><td>" + html(c.scenario) + "</td>";
            numberCell(std::to_string(c.year));
            for (const double value :
                 {c.carbon, c.cumulativeRemovedCarbon, c.productsCarbon, c.carbonDifference,
                  c.carbonWithProductsDifference, c.co2eDifference}) {
                numberCell(shown(value, 1));
            }
            h_ += "</tr>\n";
        }
        h_ += "</tbody>\n</table>\n</section>\n";
    }
    void headCell(std::string_view text, bool number) {
        h_ += std::string("<th scope=\"col\"") + (number ? " class=\"number\">" : ">") +
              std::string(text) + "</th>";
    }
    void numberCell(const std::string& text) { h_ += "<td class=\"number\">" + text + "</td>"; }

    // A parameter of the run by its name in the run table; empty when not recorded.
    std::string parameter(std::string_view name) const {
        for (const auto& [key, value] : parameters_) {
            if (key == name) return value;
        }
        return {};
    }

    void finance() {
        std::string currency = parameter("prices_currency");
        if (currency.empty()) currency = std::string(w_.moneyUnits);
        h_ += "<section>\n<h2>" + std::string(w_.finance) + "</h2>\n<p>" + html(w_.financeIntro) +
              " " +
              html(page::filled(w_.financeRate, {parameter("prices_discount_rate"), currency})) +
              "</p>\n<table>\n<thead><tr>";
        headCell(w_.scenario, false);
        for (const std::string_view label :
             {w_.revenue, w_.costs, w_.netCashFlow, w_.npv, w_.npvDifference, w_.liquidationValue,
              w_.npvWithLiquidation, w_.npvWithLiquidationDifference}) {
            headCell(std::string(label) + " (" + html(currency) + ")", true);
        }
        h_ += "</tr></thead>\n<tbody>\n";
        for (const FinanceRow& r : d_.finance) {
            h_ += "<tr><td>" + html(r.scenario) + "</td>";
            for (const double value :
                 {r.revenue, r.costs, r.netCashFlow, r.npv, r.npvDifference.value_or(0),
                  r.liquidationValue, r.npvWithLiquidation,
                  r.npvWithLiquidationDifference.value_or(0)}) {
                numberCell(shown(value, 0));
            }
            h_ += "</tr>\n";
        }
        h_ += "</tbody>\n</table>\n";
        note(w_.financeCompared);
        h_ += "</section>\n";
    }

    void totals() {
        const bool withScenarios = d_.scenarios.size() > 1;
        h_ += "<section>\n<h2>" + std::string(w_.summary) + "</h2>\n<table>\n<thead><tr>";
        if (withScenarios) headCell(w_.scenario, false);
        headCell(w_.year, true);
        headCell(w_.species, false);
        headCell(w_.stands, true);
        for (const auto& [label, unit] :
             {std::pair{w_.area, w_.unitHectares}, std::pair{w_.volume, w_.unitCubicMetres},
              std::pair{w_.biomass, w_.unitTonnes}, std::pair{w_.carbon, w_.unitTonnesCarbon},
              std::pair{w_.co2e, w_.unitTonnesCo2e}}) {
            headCell(std::string(label) + " (" + std::string(unit) + ")", true);
        }
        if (withScenarios) {
            headCell(std::string(w_.removedVolume) + " (" + std::string(w_.unitCubicMetres) + ")",
                     true);
        }
        h_ += "</tr></thead>\n<tbody>\n";
        for (const SummaryRow& r : d_.summary) {
            h_ += r.species ? "<tr>" : "<tr class=\"all\">";
            if (withScenarios) h_ += "<td>" + html(r.scenario) + "</td>";
            numberCell(std::to_string(r.year));
            h_ += "<td>" + speciesText(r.species) + "</td>";
            numberCell(shown(static_cast<double>(r.stands), 0));
            for (const double value : {r.area, r.volume, r.biomass, r.carbon, r.co2e})
                numberCell(shown(value, 1));
            if (withScenarios) numberCell(shown(r.removedVolume, 1));
            h_ += "</tr>\n";
        }
        h_ += "</tbody>\n</table>\n";
        if (withScenarios) note(w_.removalsBySpeciesFelled);
        h_ += "</section>\n";
    }

    void rejections() {
        h_ += "<section>\n<h2>" + std::string(w_.rejectedRows) + "</h2>\n";
        if (d_.firstRejections.empty()) {
            h_ += "<p>" + std::string(w_.noRejected) + "</p>\n</section>\n";
            return;
        }
        h_ += "<table>\n<thead><tr>";
        headCell(w_.line, true);
        for (const std::string_view label : {w_.stand, w_.column, w_.reason})
            headCell(label, false);
        h_ += "</tr></thead>\n<tbody>\n";
        for (const Rejection& r : d_.firstRejections) {
            // The table names no file: a row of another file says which in its column.
            const std::string column = r.file == d_.input ? r.column : r.file + ": " + r.column;
            h_ += "<tr><td class=\"number\">" + std::to_string(r.line) + "</td><td>" +
                  html(r.standId) + "</td><td>" + html(column) + "</td><td>" +
                  html(&w_ == &arbora::chinese ? chineseReason(r.message) : r.message) +
                  "</td></tr>\n";
        }
        h_ += "</tbody>\n</table>\n";
        const auto unlisted = d_.rejected - static_cast<std::int64_t>(d_.firstRejections.size());
        if (unlisted > 0) {
            note(std::string(w_.moreRejected) + " " + shown(static_cast<double>(unlisted), 0));
        }
        h_ += "</section>\n";
    }

    void methods() {
        h_ += "<section>\n<h2>" + std::string(w_.methods) + "</h2>\n";
        for (const std::string_view paragraph : w_.methodsText)
            h_ += "<p>" + std::string(paragraph) + "</p>\n";
        if (d_.extrapolatedStands > 0) {
            h_ += "<p>" +
                  page::filled(w_.extrapolated,
                               {std::to_string(yieldTableLastAge),
                                shown(static_cast<double>(d_.extrapolatedStands), 0)}) +
                  "</p>\n";
        }
        if (d_.scenarios.size() > 1) {
            for (const std::string_view paragraph : w_.scenarioMethodsText)
                h_ += "<p>" + std::string(paragraph) + "</p>\n";
            for (const std::string_view paragraph : w_.accountingMethodsText)
                h_ += "<p>" + std::string(paragraph) + "</p>\n";
        }
        if (!parameters_.empty()) {
            h_ += "<h3>" + std::string(w_.assumptions) +
                  "</h3>\n<table class=\"parameters\">\n<thead><tr>";
            headCell(w_.parameter, false);
            headCell(w_.value, false);
            h_ += "</tr></thead>\n<tbody>\n";
            const bool inChinese = w_.lang == chinese.lang;
            for (const auto& [name, value] : parameters_) {
                // On the Chinese page the assumption's Chinese name, its key beside it.
                const std::string term = inChinese ? chineseParameter(name) : std::string();
                h_ += "<tr><td>" + (term.empty() ? html(name) : html(term + "（" + name + "）")) +
                      "</td><td>" +
                      html(inChinese ? chineseParameterValue(value) : valueText(value)) +
                      "</td></tr>\n";
            }
            h_ += "</tbody>\n</table>\n";
        }
        h_ += "</section>\n";
    }

    // A parameter's value as the page shows it: a pool in the page's words, its key beside.
    std::string valueText(const std::string& value) const {
        for (std::size_t p = 0; p < productPoolCount; ++p) {
            if (value == productPools[p].name && value != w_.poolNames[p])
                return std::string(w_.poolNames[p]) + " (" + value + ")";
        }
        return value;
    }

    const EstateReportData& d_;
    const Words& w_;
    std::vector<std::pair<std::string, std::string>> parameters_;  // as written on the page
    std::string h_;
};

std::string ageClassJson(const EstateReportData& data) {
    std::string out = "[";
    for (const auto& [key, area] : data.areaByAgeClass) {
        if (out.size() > 1) out += ',';
        out += "{\"species\":" + std::to_string(key.first) +
               ",\"ageClass\":" + std::to_string(key.second) + ",\"area\":";
        appendJsonNumber(out, area);
        out += '}';
    }
    return out + "]";
}

std::string chartTextJson(const Words& w) {
    std::string out = "{\"species\":{";
    for (std::int32_t s = 0; s < speciesCount; ++s) {
        out += (s ? "," : "") + json(std::to_string(s + 1)) + ":" + json(w.speciesNames[s]);
    }
    out += "},\"assortments\":{";
    constexpr std::string_view assortmentKeys[] = {"roughTimber", "timberMachining", "fuelWood",
                                                   "wasteWood", "unsorted"};
    for (std::size_t a = 0; a < std::size(assortmentKeys); ++a)
        out += (a ? "," : "") + json(assortmentKeys[a]) + ":" + json(w.assortmentNames[a]);
    out += "},\"pools\":{";
    for (std::size_t p = 0; p < productPoolCount; ++p) {
        out += (p ? "," : "") + json(productPools[p].name) + ":" + json(w.poolNames[p]);
    }
    out += "}";
    for (const auto& [key, value] :
         {std::pair{"yearAxis", w.yearAxis}, std::pair{"periodAxis", w.periodAxis},
          std::pair{"periodEndAxis", w.periodEndAxis}, std::pair{"ageClassAxis", w.ageClassAxis},
          std::pair{"carbonUnit", w.unitTonnesCarbon}, std::pair{"volumeUnit", w.unitCubicMetres},
          std::pair{"uptakeUnit", w.unitPerYear}, std::pair{"areaUnit", w.unitHectares},
          std::pair{"uptake", w.uptake}}) {
        out += "," + json(key) + ":" + json(value);
    }
    return out + "}";
}

// The scenarios' data for their charts: names, removals by assortment, products stocks.
std::string scenarioJson(const EstateReportData& data) {
    std::string out = "{\"scenarios\":[";
    for (std::size_t s = 0; s < data.scenarios.size(); ++s)
        out += (s ? "," : "") + json(data.scenarios[s]);
    out += "],\"removals\":[";
    bool first = true;
    for (const RemovalPeriod& p : data.removals) {
        out += (first ? "{" : ",{") + std::string("\"scenario\":") + json(p.scenario) +
               ",\"year\":" + std::to_string(p.year);
        first = false;
        for (const auto& [key, value] :
             {std::pair{"roughTimber", p.volume.roughTimber},
              std::pair{"timberMachining", p.volume.timberMachining},
              std::pair{"fuelWood", p.volume.fuelWood}, std::pair{"wasteWood", p.volume.wasteWood},
              std::pair{"unsorted", p.volume.unsorted}}) {
            out += ",\"" + std::string(key) + "\":";
            appendJsonNumber(out, value);
        }
        out += '}';
    }
    out += "],\"products\":[";
    first = true;
    for (const ProductsRow& r : data.products) {
        if (!std::binary_search(data.years.begin(), data.years.end(), r.year)) continue;
        out += (first ? "{" : ",{") + std::string("\"scenario\":") + json(r.scenario) +
               ",\"year\":" + std::to_string(r.year) + ",\"pool\":" + json(poolName(r.pool)) +
               ",\"stock\":";
        first = false;
        appendJsonNumber(out, r.stock);
        out += '}';
    }
    return out + "]}";
}

// A character none of the ids holds, to join them by; none when they hold every one.
std::optional<char> separatorOf(const std::vector<MapStand>& stands) {
    // None needs an escape in JSON or HTML.
    constexpr std::string_view candidates = "|,;~^!*+=#$%@`{}[]:?'() /._-";
    std::array<bool, 128> held{};
    for (const MapStand& stand : stands) {
        for (const char c : stand.id) {
            if (static_cast<unsigned char>(c) < held.size())
                held[static_cast<unsigned char>(c)] = true;
        }
    }
    for (const char c : candidates) {
        if (!held[static_cast<unsigned char>(c)]) return c;
    }
    return std::nullopt;
}

// A whole number in base 36 (0-9 and a-z, as JavaScript's parseInt(text, 36) reads it);
// nothing for one that is not finite or beyond what a double holds whole.
void appendBase36(std::string& out, double value) {
    if (!std::isfinite(value) || std::abs(value) > 0x1p53) return;
    auto whole = static_cast<std::int64_t>(value);
    if (whole < 0) out += '-';
    std::uint64_t left = whole < 0 ? 0 - static_cast<std::uint64_t>(whole) : whole;
    char digits[16];
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdefghijklmnopqrstuvwxyz"[left % 36];
        left /= 36;
    } while (left > 0);
    while (count > 0)
        out += digits[--count];
}

// The map's stands in drawing order, with the tooltip's words. Short, for a page of
// 100,000 stands: the ids in one string, joined by a character none of them holds
// ("separator"; a list of strings when they hold them all), and the values in whole
// tenths or hundredths, as the tooltip shows them (the outputs hold them in full), in
// base 36, joined by commas, empty where there is none; some 18 bytes a stand, e.g.
// {"tip":"{}: {} t C/ha, {} m3/ha, {} ha","separator":"|","id":"A|B",
// "carbonTenths":"h0,m8","volumeTenths":"...","areaHundredths":"..."}.
std::string mapJson(const EstateMap& m, const Words& w) {
    const MapDrawing drawing = mapDrawing(m.stands);
    std::string out = "{\"tip\":" + json(w.mapTooltip);
    out.reserve(m.stands.size() * 20);
    if (const auto separator = separatorOf(m.stands)) {
        out += ",\"separator\":\"" + std::string(1, *separator) + "\",\"id\":";
        std::string ids;
        for (std::size_t at = 0; at < drawing.order.size(); ++at) {
            if (at) ids += *separator;
            ids += m.stands[drawing.order[at]].id;
        }
        out += json(ids);
    } else {
        out += ",\"id\":[";
        for (std::size_t at = 0; at < drawing.order.size(); ++at)
            out += (at ? "," : "") + json(m.stands[drawing.order[at]].id);
        out += ']';
    }
    for (const auto& [name, field, scale] :
         {std::tuple{"carbonTenths", &MapStand::carbon, 10.0},
          std::tuple{"volumeTenths", &MapStand::volume, 10.0},
          std::tuple{"areaHundredths", &MapStand::area, 100.0}}) {
        out += ",\"" + std::string(name) + "\":\"";
        for (std::size_t at = 0; at < drawing.order.size(); ++at) {
            if (at) out += ',';
            appendBase36(out, std::round(m.stands[drawing.order[at]].*field * scale));
        }
        out += '"';
    }
    return out + "}";
}

std::string dataBlock(std::string_view id, const std::string& content) {
    return "<script type=\"application/json\" id=\"" + std::string(id) + "\">" + content +
           "</script>\n";
}

}  // namespace

std::string summaryJson(const std::vector<SummaryRow>& summary) {
    std::string out = "[";
    for (const SummaryRow& r : summary) {
        if (out.size() > 1) out += ',';
        out += "{\"scenario\":" + json(r.scenario) + ",\"year\":" + std::to_string(r.year) +
               ",\"species\":" + (r.species ? std::to_string(*r.species) : "null") +
               ",\"stands\":" + std::to_string(r.stands);
        for (const auto& [name, value] :
             {std::pair{"area", r.area}, std::pair{"volume", r.volume},
              std::pair{"biomass", r.biomass}, std::pair{"carbon", r.carbon},
              std::pair{"co2e", r.co2e}, std::pair{"removedVolume", r.removedVolume},
              std::pair{"removedCarbon", r.removedCarbon},
              std::pair{"productsCarbon", r.productsCarbon.value_or(0)}}) {
            out += ",\"" + std::string(name) + "\":";
            appendJsonNumber(out, value);
        }
        out += '}';
    }
    return out + "]";
}

std::vector<std::size_t> missingWords(ReportLanguage language) {
    return page::emptyWords(wordsOf(language));
}

std::string chartLibrary() {
    std::ifstream in{std::string(chartJsFile), std::ios::binary};
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (text.empty()) {
        throw OutputFileError("cannot read the charting library \"" + std::string(chartJsFile) +
                              "\" for the estate report (Debian package libjs-chart.js)");
    }
    return text;
}

std::string estateReportHtml(const EstateReportData& data, ReportLanguage language,
                             std::string_view chartJs) {
    const Words& w = wordsOf(language);
    std::string blocks = dataBlock("summary-data", summaryJson(data.summary)) +
                         dataBlock("age-class-data", ageClassJson(data)) +
                         dataBlock("chart-text", chartTextJson(w));
    if (data.scenarios.size() > 1) blocks += dataBlock("scenario-data", scenarioJson(data));
    if (hasMap(data)) blocks += dataBlock("map-data", mapJson(*data.map, w));
    const std::string body = Page(data, language).body();
    const std::string title = std::string(w.title) + " – " + html(data.input);
    return fillSlots(assets::pageHtml, {{"lang", w.lang},
                                        {"version", html(data.version)},
                                        {"title", title},
                                        {"style", assets::pageCss},
                                        {"body", body},
                                        {"data", blocks},
                                        {"chartjs", inlineScript(chartJs)},
                                        {"script", inlineScript(assets::pageJs)}});
}

}  // namespace arbora
