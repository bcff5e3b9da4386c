// The collector's console in the distribution's headless Chromium: log in, find a report
// by its ticket, see a whois answer's markup as text and the path's chart with its lossy
// hop marked, and read the fleet counts.
//   node console_check.js BASE_URL USER PASSWORD TICKET PROFILE_DIR
// Prints one "ok - ..." or "FAIL - ..." line per check; exit status 1 when any failed.
'use strict';
const puppeteer = require('puppeteer-core');

const [base, user, password, ticket, profile] = process.argv.slice(2);
let failed = false;
function check(what, good, detail) {
  console.log(`${good ? 'ok' : 'FAIL'} - ${what}${good || !detail ? '' : ': ' + detail}`);
  if (!good) failed = true;
}

async function logIn(page) {
  const first = await page.goto(`${base}/`, {waitUntil: 'load'});
  check('a page without a login leads to /login', page.url().endsWith('/login'), page.url());
  await page.type('input[name=user]', user);
  await page.type('input[name=password]', password);
  await Promise.all([page.waitForNavigation(), page.click('button[type=submit]')]);
  check('logging in opens the report list', (await page.$('#reports')) !== null, page.url());
  const cookies = await page.cookies();
  const session = cookies.find((c) => c.name === 'tv_session');
  check('the session cookie is HttpOnly and SameSite=Strict',
        session && session.httpOnly && session.sameSite === 'Strict', JSON.stringify(session));
  return first;
}

async function findReport(page) {
  await page.type('input[name=q]', ticket);
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  const rows = await page.$$eval('#reports tr td:nth-child(2)', (cells) => cells.map((c) => c.textContent));
  check('the search by ticket finds the report', rows.length === 1 && rows[0] === ticket, rows.join(','));
  await Promise.all([page.waitForNavigation(), page.click(`#reports a`)]);
  const text = await page.$eval('#report-text', (pre) => pre.textContent);
  check('the whois answer\'s <script> shows as text', text.includes('<script>window.pwned=1</script>'));
  const pwned = await page.evaluate(() => window.pwned === undefined && document.scripts.length === 0);
  check('no script from the report runs or enters the page', pwned);
  await readChart(page);
}

// The report is the path-loss one: loss starts at 61.140.0.1 and persists, so the first
// marked band must be that hop's row.
async function readChart(page) {
  const chart = await page.$eval('#path-chart svg', (svg) => {
    const bands = Array.from(svg.querySelectorAll('rect[fill="#FDE7E7"]'))
        .map((r) => Number(r.getAttribute('y'))).sort((a, b) => a - b);
    const hop = Array.from(svg.querySelectorAll('text')).find((t) => t.textContent === '61.140.0.1');
    const box = svg.getBoundingClientRect();
    return {bands, hopY: hop ? Number(hop.getAttribute('y')) : null, width: box.width, height: box.height};
  }).catch((error) => ({error: String(error)}));
  check('the report page draws the path chart', chart.width > 0 && chart.height > 0, JSON.stringify(chart));
  const first = chart.bands && chart.bands[0];
  check('the chart marks the rows from the hop where loss starts',
        chart.hopY !== null && first !== undefined && first < chart.hopY && chart.hopY < first + 30,
        JSON.stringify(chart));
}

async function readFleet(page) {
  await page.goto(`${base}/fleet?hours=2`, {waitUntil: 'load'});
  const counts = await page.$$eval('#fleet-counts tr', (rows) =>
    rows.slice(1).map((r) => Array.from(r.cells).map((c) => c.textContent)));
  const pathLoss = counts.filter((r) => r[0] === 'path-loss').reduce((n, r) => n + Number(r[3]), 0);
  check('the fleet view counts path-loss reports by region', pathLoss >= 3, JSON.stringify(counts));
  const hops = await page.$$eval('#loss-hops tr', (rows) =>
    rows.slice(1).map((r) => Array.from(r.cells).map((c) => c.textContent)));
  const shared = hops.find((h) => h[0] === '61.140.0.1');
  check('the fleet view names the hop where loss starts and how many share it',
        shared && Number(shared[2]) >= 3, JSON.stringify(hops));
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(15000);
    const refused = [];
    page.on('console', (message) => {
      if (message.text().includes('Content Security Policy')) refused.push(message.text());
    });
    await logIn(page);
    await findReport(page);
    await readFleet(page);
    check('the pages need nothing their policy refuses', refused.length === 0, refused.join(' | '));
  } catch (error) {
    check('the console could be driven', false, String(error).slice(0, 300));
  } finally {
    await browser.close();
  }
  process.exit(failed ? 1 : 0);
})();
