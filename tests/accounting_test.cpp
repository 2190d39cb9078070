// Harvested wood products and forest finance: the decay against series worked out by
// hand, conservation, routing, the cash flows of a stand, and the reading of the
// products and prices files with their rejections.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "estate/estate_report.h"
#include "test_support.h"

namespace arbora::accounting_test {
namespace {

void expectClose(double actual, double expected, const std::string& what) {
    EXPECT_NEAR(actual, expected, 1e-11 * std::max(1.0, std::fabs(expected))) << what;
}

Removal removal(std::int32_t year, AssortmentVolumes volumes, BiomassComponents carbon,
                TreatmentAction action = TreatmentAction::thin, bool regenerated = false) {
    Removal r;
    r.scenario = "thin";
    r.standId = "S1";
    r.year = year;
    r.species = pinusTabulaeformis;
    r.action = action;
    r.regenerated = regenerated;
    r.assortments = volumes;
    r.volume = volumes.roughTimber + volumes.timberMachining + volumes.fuelWood +
               volumes.wasteWood + volumes.unsorted;
    r.carbon = carbon;
    return r;
}

std::vector<std::string> problemTexts(const std::vector<Problem>& problems) {
    std::vector<std::string> texts;
    for (const Problem& problem : problems)
        texts.push_back(problemText(problem));
    return texts;
}

std::variant<ProductsSettings, std::vector<Problem>> productsOf(std::string text) {
    return readProductsItems(
        readItemBytes(std::move(text), "p.csv", InputEncoding::utf8, SpeciesColumn::refused),
        "p.csv");
}

std::variant<Prices, std::vector<Problem>> pricesOf(std::string text) {
    return readPricesItems(
        readItemBytes(std::move(text), "prices.csv", InputEncoding::utf8, SpeciesColumn::allowed),
        "prices.csv");
}

// Stem carbon of 100 t at year 1 and 50 t at year 3, all rough timber routed to one
// pool: the ledger's rows of that pool against the series of Eq. 12.1 worked out to 50
// digits, and nothing in the other pools.
TEST(WoodProducts, DecayFollowsTheHandComputedSeriesOfEachPool) {
    struct Case {
        ProductPool pool;
        double stock[5];
        double emission[5];
    };
    const Case cases[] = {
        {ProductPool::sawnwood,
         {0, 99.016294281611423, 97.074645144725129, 144.67921770392985, 141.84214649036506},
         {0, 0.98370571838857709, 1.9416491368862943, 2.3954274407952773, 2.8370712135647897}},
        {ProductPool::panels,
         {0, 98.626429402858996, 95.929484504299307, 142.61950240724640, 138.71956461388657},
         {0, 1.3735705971410038, 2.6969448985596890, 3.3099820970529079, 3.8999377933598249}},
        {ProductPool::paper,
         {0, 84.511118858434785, 59.758385230461556, 84.511118858434785, 59.758385230461556},
         {0, 15.488881141565215, 24.752733627973230, 25.247266372026770, 24.752733627973230}},
        {ProductPool::emitted, {0, 0, 0, 0, 0}, {0, 100, 0, 50, 0}},
    };
    for (const Case& c : cases) {
        ProductsSettings settings = defaultProductsSettings();
        settings.routing[static_cast<std::size_t>(Assortment::roughTimber)] = c.pool;
        ProductsLedger ledger(settings, 4);
        ledger.addRemoval(removal(1, {.roughTimber = 1}, {.stem = 100, .stand = 100}), 1);
        ledger.addRemoval(removal(3, {.roughTimber = 2}, {.stem = 25, .stand = 25}), 2);
        const std::vector<ProductsRow> rows = ledger.rows();
        ASSERT_EQ(rows.size(), 5 * productPoolCount);
        for (const ProductsRow& row : rows) {
            const std::string what = std::string(poolName(c.pool)) + " row " +
                                     std::string(poolName(row.pool)) + " year " +
                                     std::to_string(row.year);
            const bool routed = row.pool == c.pool;
            expectClose(row.stock, routed ? c.stock[row.year] : 0, what);
            expectClose(row.emission, routed ? c.emission[row.year] : 0, what);
        }
        expectClose(productsCarbon(rows, "thin", 3), c.stock[3], "products carbon");
    }
}

// Whatever the removals, every tonne routed is in a pool or emitted, and the pools
// together take all the removed carbon.
TEST(WoodProducts, LedgerConservesCarbon) {
    std::mt19937_64 random(15);
    std::uniform_real_distribution<double> amount(0, 50);
    const std::int32_t lastYear = 60;
    ProductsLedger ledger(defaultProductsSettings(), lastYear);
    ledger.addScenario("none");
    double removedCarbon = 0;
    for (int i = 0; i < 300; ++i) {
        Removal r = removal(static_cast<std::int32_t>(random() % 70),
                            {amount(random), amount(random), amount(random), amount(random),
                             i % 7 == 0 ? 0.0 : amount(random)},
                            {.stem = amount(random),
                             .bark = amount(random),
                             .branch = amount(random),
                             .foliage = amount(random),
                             .root = amount(random)});
        if (i % 11 == 0) r.assortments = {};  // nothing sorted: all stem carbon emitted
        r.scenario = i % 2 ? "thin" : "clearcut";
        const double area = 0.1 + amount(random);
        if (r.year <= lastYear) {
            const BiomassComponents& c = r.carbon;
            removedCarbon += (c.stem + c.bark + c.branch + c.foliage + c.root) * area;
        }
        ledger.addRemoval(r, area);
    }
    const std::vector<ProductsRow> rows = ledger.rows();
    ASSERT_EQ(rows.size(), 3 * (lastYear + 1) * productPoolCount);
    double inflows = 0;
    for (const char* scenario : {"none", "clearcut", "thin"}) {
        for (std::size_t p = 0; p < productPoolCount; ++p) {
            double in = 0, out = 0, last = 0;
            for (const ProductsRow& row : rows) {
                if (row.scenario != scenario || row.pool != static_cast<ProductPool>(p)) continue;
                in += row.inflow;
                out += row.emission;
                last = row.stock;
            }
            EXPECT_NEAR(in, last + out, 1e-12 * in) << scenario << " " << p;
            if (std::string_view(scenario) == "none") {
                EXPECT_EQ(in + last + out, 0);
            }
            inflows += in;
        }
    }
    EXPECT_NEAR(inflows, removedCarbon, 1e-12 * removedCarbon);
    EXPECT_EQ(productsCarbon(rows, "none", lastYear), 0);
}

TEST(WoodProducts, RoutingFollowsAssortmentSharesAndTheProductsFile) {
    struct Case {
        const char* file;
        AssortmentVolumes volumes;
        PoolCarbon expected;  // sawnwood, panels, paper, emitted
    };
    const BiomassComponents carbon{.stem = 6, .bark = 1, .branch = 0.5, .foliage = 0.25, .root = 2};
    const Case cases[] = {
        {"item,value\n", {10, 12, 5, 2, 1}, {2, 2.4, 0, 5.35}},
        {"item,value\n", {}, {0, 0, 0, 9.75}},  // nothing sorted
        {"Value, ITEM\r\npaper , Rough_Timber\nsawnwood,fuel_wood\n\n",
         {10, 12, 5, 2, 1},
         {1, 2.4, 2, 4.35}},
    };
    for (const Case& c : cases) {
        const auto read = productsOf(c.file);
        ASSERT_TRUE(std::holds_alternative<ProductsSettings>(read)) << c.file;
        const PoolCarbon pools =
            routeRemoval(removal(1, c.volumes, carbon), std::get<ProductsSettings>(read));
        for (std::size_t p = 0; p < productPoolCount; ++p)
            expectClose(pools[p], c.expected[p], c.file + std::to_string(p));
    }
    const auto halfLives = productsOf("item,value\nsawnwood,30\npaper,0.5\n");
    ASSERT_TRUE(std::holds_alternative<ProductsSettings>(halfLives));
    const auto& settings = std::get<ProductsSettings>(halfLives);
    EXPECT_EQ(settings.halfLife, (std::array<double, productPoolCount>{30, 25, 0.5, 0}));
    EXPECT_EQ(settings.routing, defaultProductsSettings().routing);
}

TEST(WoodProducts, BadProductsRowsAreRejectedWithTheirLines) {
    struct Case {
        const char* file;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {"item,value\n"
         "rough_timber,boards\n"
         "oak,sawnwood\n"
         "emitted,1\n"
         "sawnwood,0\n"
         "panels,ten\n"
         "Paper,2\n"
         "paper,3\n"
         ",\n"
         "fuel_wood,\n"
         ",2\n",
         {"p.csv:2: value: \"boards\" is not a pool: use sawnwood, panels, paper or emitted",
          "p.csv:3: item: \"oak\" is neither an assortment (rough_timber, timber_machining, "
          "fuel_wood, waste_wood, unsorted) nor a pool (sawnwood, panels, paper)",
          "p.csv:4: item: emitted has no half-life: its carbon leaves at once",
          "p.csv:5: value: \"0\" is not above 0", "p.csv:6: value: \"ten\" is not a number",
          "p.csv:8: item: \"paper\" is given twice (first on line 7)", "p.csv:10: value: is empty",
          "p.csv:11: item: is empty"}},
        {"item,value\nsawnwood,-35\npanels,1e-400\n",
         {"p.csv:2: value: \"-35\" is not above 0", "p.csv:3: value: \"1e-400\" is not above 0"}},
        {"value\nsawnwood\n", {"p.csv: has no column item"}},
        {"item,value,item\n", {"p.csv: has the column item twice"}},
        {"item,value,species\n", {"p.csv: has a column species, which this file does not take"}},
    };
    for (const Case& c : cases) {
        const auto read = productsOf(c.file);
        ASSERT_TRUE(std::holds_alternative<std::vector<Problem>>(read)) << c.file;
        EXPECT_EQ(problemTexts(std::get<std::vector<Problem>>(read)), c.problems);
    }
}

TEST(FinancePrices, SpeciesRowsOverrideTheGeneralOneAndAllAreRecorded) {
    const auto read = pricesOf(
        "item,species,value\nrough_timber,,1200\nrough_timber,华山松,1300\ndiscount_rate,,-2.5\n");
    ASSERT_TRUE(std::holds_alternative<Prices>(read));
    const Prices& prices = std::get<Prices>(read);
    EXPECT_EQ(priceOf(prices, pinusTabulaeformis, PriceItem::roughTimber), 1200);
    EXPECT_EQ(priceOf(prices, pinusArmandii, PriceItem::roughTimber), 1300);
    EXPECT_EQ(priceOf(prices, pinusArmandii, PriceItem::fuelWood), 0);
    EXPECT_EQ(priceOf(prices, pinusArmandii, PriceItem::discountRate), -2.5);
    const std::vector<RunParameter> run = financeRunParameters(prices);
    EXPECT_EQ(run.size(), priceItemCount + 1);  // every item, missing ones as 0
    EXPECT_EQ(run[1].name, "prices.rough_timber (Pinus armandii)");
    EXPECT_EQ(run[1].value, "1300");
    EXPECT_EQ(run.back().value, "-2.5");

    const auto example = readPricesFile(ARBORA_GOLDEN_DIR "/../../examples/prices.csv");
    ASSERT_TRUE(std::holds_alternative<Prices>(example));
    EXPECT_EQ(priceOf(std::get<Prices>(example), quercusAliena, PriceItem::roughTimber), 1300);
}

TEST(FinancePrices, BadRowsAreRejectedWithTheirLines) {
    const auto read = pricesOf(
        "item,value,species\n"
        "rough_timber,1200,\n"
        "rough_timber,1300,2\n"
        "rough_timber,1350,Pinus armandii\n"
        "walnut,5,\n"
        "fuel_wood,-1,\n"
        "discount_rate,-100,\n"
        "management_cost,50,1\n"
        "thinning_cost,500,birch\n"
        "clearcut_cost,1e999,\n"
        "discount_rate,3,\n"
        "Discount_Rate,4\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<Problem>>(read));
    const std::vector<std::string> expected = {
        "prices.csv:4: item: rough_timber for Pinus armandii is given twice (first on line 3)",
        "prices.csv:5: item: \"walnut\" is not a price item: use rough_timber, timber_machining, "
        "fuel_wood, waste_wood, unsorted, harvesting_cost, thinning_cost, clearcut_cost, "
        "regeneration_cost, management_cost, discount_rate or currency",
        "prices.csv:6: value: \"-1\" is below 0",
        "prices.csv:7: value: \"-100\" is not above -100",
        "prices.csv:8: species: management_cost is one value for all species: leave species empty",
        "prices.csv:9: species: \"birch\" is not a species: use 1 to 4, the Latin name or the "
        "Chinese name",
        "prices.csv:10: value: \"1e999\" is beyond the largest number",
        "prices.csv:12: item: discount_rate is given twice (first on line 11)",
    };
    EXPECT_EQ(problemTexts(std::get<std::vector<Problem>>(read)), expected);
}

class AccountingFiles : public testing::InTempDir {};

TEST_F(AccountingFiles, ADatabaseOrAMissingFileIsNotRead) {
    {
        std::ofstream database("prices.sqlite", std::ios::binary);
        database << std::string("SQLite format 3\0rest", 20);
    }
    try {
        readPricesFile("prices.sqlite");
        ADD_FAILURE() << "a database was read as prices";
    } catch (const InventoryInputError& e) {
        EXPECT_EQ(e.kind(), InventoryInputError::unusable);
        EXPECT_STREQ(e.what(), "prices.sqlite: is a SQLite database, not a CSV file");
    }
    try {
        readProductsFile("missing.csv");
        ADD_FAILURE() << "a missing file was read";
    } catch (const InventoryInputError& e) {
        EXPECT_EQ(e.kind(), InventoryInputError::unreadable);
    }
}

// The prices of the cases below: a thinning earns 24800 and costs 5000, a clear-felling
// that regenerates earns 175500 and costs 36800 (6000 of them planting), management is
// 100 a year.
Prices examplePrices(double rate) {
    const auto read = pricesOf(
        "item,value\nrough_timber,1200\ntimber_machining,900\nfuel_wood,300\nwaste_wood,50\n"
        "unsorted,400\nharvesting_cost,150\nthinning_cost,500\nclearcut_cost,800\n"
        "regeneration_cost,6000\nmanagement_cost,100\n");
    Prices prices = std::get<Prices>(read);
    prices.general[static_cast<std::size_t>(PriceItem::discountRate)] = rate;
    return prices;
}

const AssortmentVolumes thinned{10, 12, 5, 2, 1};
const AssortmentVolumes felled{90, 60, 30, 10, 10};

TEST(Finance, CashFlowsMatchHandComputedValues) {
    struct Case {
        const char* name;
        double rate;  // percent
        std::vector<Removal> removals;
        double standingVolume;  // of Larix principis-ruprechtii: all unsorted
        double revenue, costs, npv, liquidation;
    };
    const std::vector<Removal> treated = {
        removal(10, thinned, {}), removal(30, felled, {}, TreatmentAction::clearcut, true),
        removal(41, felled, {}, TreatmentAction::clearcut),  // after the horizon
    };
    // npv at 5%: 19800 * 1.05^-10 + 138700 * 1.05^-30 - 100 * sum(1.05^-j, j = 1..40);
    // liquidation: (50 * 400 - 50 * 150 - 800) * 1.05^-40.
    const Case cases[] = {
        {"treated at 0%", 0, treated, 50, 200300, 45800, 154500, 11700},
        {"treated at 5%", 5, treated, 50, 200300, 45800, 42531.625913275119, 1661.9344829132513},
        {"untreated at 5%", 5, {}, 0, 0, 4000, -1715.9086353994442, 0},
        {"untreated at 0%", 0, {}, 0, 0, 4000, -4000, 0},
        // 1 * 400 - 1 * 150 - 800 < 0: an owner keeps wood that would sell at a loss.
        {"sold at a loss", 0, {}, 1, 0, 4000, -4000, 0},
    };
    for (const Case& c : cases) {
        const StandAccounts stand{
            .scenario = "thin",
            .standId = "S1",
            .area = 2,
            .horizon = 40,
            .removals = c.removals,
            .standing = {
                .species = larixPrincipisRuprechtii, .diameter = 24, .volume = c.standingVolume}};
        const auto finance = standFinance(stand, examplePrices(c.rate));
        ASSERT_TRUE(std::holds_alternative<FinanceRow>(finance)) << c.name;
        const FinanceRow& row = std::get<FinanceRow>(finance);
        expectClose(row.revenue, c.revenue, c.name);
        expectClose(row.costs, c.costs, c.name);
        expectClose(row.netCashFlow, c.revenue - c.costs, c.name);
        expectClose(row.npv, c.npv, c.name);
        expectClose(row.liquidationValue, c.liquidation, c.name);
        EXPECT_EQ(row.npvWithLiquidation, row.npv + row.liquidationValue) << c.name;
        EXPECT_FALSE(row.lev) << c.name;  // no rotation from bare land to bare land
    }
}

TEST(Finance, LandExpectationValueOfTheFirstFullRotation) {
    const std::vector<Removal> rotation = {
        removal(5, felled, {}, TreatmentAction::clearcut, true),
        removal(25, thinned, {}),
        removal(65, felled, {}, TreatmentAction::clearcut, true),
    };
    std::vector<Removal> notReplanted = rotation;
    notReplanted.back().regenerated = false;
    // (-6000 + 19800 * 1.03^-20 + 144700 * 1.03^-60 - 100 * sum(1.03^-j, j = 1..60))
    // * 1.03^60 / (1.03^60 - 1)
    const auto lev = landExpectation(rotation, 70, examplePrices(3));
    ASSERT_TRUE(lev);
    expectClose(*lev, 32225.301731201313, "lev");
    EXPECT_FALSE(landExpectation(rotation, 64, examplePrices(3)));  // rotation not complete
    EXPECT_FALSE(landExpectation(rotation, 70, examplePrices(0)));
    EXPECT_FALSE(landExpectation(notReplanted, 70, examplePrices(3)));
}

TEST(Finance, InventoryTotalsAreAreaWeightedAndComparedWithTheBaseline) {
    FinanceTotals totals;
    std::vector<FinanceRow> standA = {
        {.scenario = "none", .standId = "A", .area = 2, .npv = 10, .npvWithLiquidation = 50},
        {.scenario = "thin", .standId = "A", .area = 2, .npv = 30, .npvWithLiquidation = 35}};
    setNpvDifferences(standA);
    EXPECT_EQ(standA[0].npvDifference, 0);
    EXPECT_EQ(standA[1].npvDifference, 20);
    EXPECT_EQ(standA[1].npvWithLiquidationDifference, -15);  // more cut, less standing
    for (const FinanceRow& row : standA)
        totals.add(row);
    totals.add({.scenario = "thin", .standId = "B", .area = 3, .revenue = 7, .npv = 4});
    totals.add({.scenario = "none", .standId = "B", .area = 3, .npv = -1});
    const std::vector<FinanceRow> rows = totals.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].scenario, "none");
    EXPECT_FALSE(rows[0].standId);
    EXPECT_EQ(rows[0].area, 5);
    EXPECT_EQ(rows[0].npv, 17);
    EXPECT_EQ(rows[1].npv, 72);
    EXPECT_EQ(rows[1].revenue, 21);
    EXPECT_EQ(rows[1].npvDifference, 55);
    EXPECT_EQ(rows[1].npvWithLiquidationDifference, 70 - 100);
}

TEST(Finance, ValuesBeyondTheLargestNumberAreRefused) {
    const StandAccounts stand{.scenario = "thin", .standId = "S1", .horizon = 400};
    const auto finance = standFinance(stand, examplePrices(-99));
    ASSERT_TRUE(std::holds_alternative<Problem>(finance));
    EXPECT_EQ(problemText(std::get<Problem>(finance)),
              "stand S1, scenario thin: the net present value exceeds the largest number: see "
              "the price items management_cost, discount_rate (a discount rate below 0 makes "
              "each year's money grow over the 400 years)");
}

// The currency is an optional text of the prices file, recorded with the prices.
TEST(FinancePrices, CurrencyIsATextOfItsOwn) {
    const auto read = pricesOf("item,value\ncurrency, CNY \ndiscount_rate,4\n");
    ASSERT_TRUE(std::holds_alternative<Prices>(read));
    EXPECT_EQ(std::get<Prices>(read).currency, "CNY");
    EXPECT_EQ(financeRunParameters(std::get<Prices>(read)).back().value, "CNY");
    const auto bad = pricesOf("item,species,value\ncurrency,,\ncurrency,1,CNY\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<Problem>>(bad));
    EXPECT_EQ(problemTexts(std::get<std::vector<Problem>>(bad)),
              (std::vector<std::string>{
                  "prices.csv:2: value: is empty",
                  "prices.csv:3: species: currency is one value for all species: leave "
                  "species empty"}));
}

// The estate page names the scenario of each key figure, the rate and currency of the
// finance, each pool in the page's language, and where removals are counted.
TEST(EstateReport, SaysWhichScenarioRateAndCurrencyItShows) {
    EstateReportData data;
    data.years = {0, 10};
    data.scenarios = {"none", "thin"};
    data.area = 1;
    for (const char* scenario : {"none", "thin"}) {
        for (const std::int32_t year : {0, 10}) {
            SummaryRow& row = data.summary.emplace_back();
            row.scenario = scenario, row.year = year, row.carbon = 1;
        }
    }
    data.finance = {{.scenario = "none", .npv = 1}, {.scenario = "thin", .npv = 2}};
    data.parameters = {{"prices_discount_rate", "4"},
                       {"products_route_fuel_wood", "emitted"},
                       {"prices_rough_timber_quercus_aliena", "1300"}};
    struct Case {
        ReportLanguage language;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {ReportLanguage::english,
         {"Carbon stock, year 10, none (untreated)", "Carbon stock, year 10, thin",
          "discount rate 4 percent a year", "(money units of the prices file)", "NPV + liquidation",
          "Removals count under the species felled"}},
        {ReportLanguage::chinese,
         {"即时排放", "贴现率 4%", "价格文件的货币单位", "按被伐树种计", "薪材的碳去向",
          "原木价格（槲栎）"}},
    };
    for (const Case& c : cases) {
        const std::string page = estateReportHtml(data, c.language, "");
        for (const std::string& text : c.shown)
            EXPECT_NE(page.find(text), std::string::npos) << text;
    }
    data.parameters.emplace_back("prices_currency", "CNY");
    const std::string page = estateReportHtml(data, ReportLanguage::english, "");
    EXPECT_NE(page.find("Net present value (CNY)"), std::string::npos);
}

}  // namespace
}  // namespace arbora::accounting_test
