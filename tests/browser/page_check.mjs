// Opens pages in Chromium at a phone's size and prints, as JSON, for each:
// axe-core's violations at WCAG 2.1 A and AA, whether the page scrolls
// sideways, and the controls shorter than a 44 px touch target (a check box
// or radio button counts with its label, which takes the tap too).
//
//   node page_check.mjs '[{"url": URL, "phone": PNG, "desktop": PNG}, ...]'
//
// The screenshots are taken when a path is given.
import { createRequire } from 'node:module';
import { launchChromium } from './chromium.mjs';

const axePath = createRequire(import.meta.url).resolve('axe-core/axe.min.js');
const pages = JSON.parse(process.argv[2]);
const browser = await launchChromium();
try {
  const results = [];
  for (const { url, phone, desktop } of pages) {
    const page = await browser.newPage({ viewport: { width: 375, height: 812 } });
    await page.goto(url);
    await page.addScriptTag({ path: axePath });
    const axe = await page.evaluate(async () => {
      const found = await window.axe.run(document, {
        runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] },
      });
      return found.violations.map((v) => ({ id: v.id, nodes: v.nodes.map((n) => n.target.join(' ')) }));
    });
    const layout = await page.evaluate(() => {
      const small = [];
      for (const control of document.querySelectorAll('input, select, textarea, button')) {
        if (control.type === 'hidden' || control.closest('.trap')) continue;
        const target = control.closest('.choice') || control;
        const height = target.getBoundingClientRect().height;
        if (height < 44) small.push(`${control.name || control.id}: ${height}px`);
      }
      return { scrollWidth: document.documentElement.scrollWidth, viewport: window.innerWidth, small };
    });
    if (phone) await page.screenshot({ path: phone, fullPage: true });
    if (desktop) {
      await page.setViewportSize({ width: 1280, height: 900 });
      await page.screenshot({ path: desktop, fullPage: true });
    }
    results.push({ url, axe, ...layout });
    await page.close();
  }
  process.stdout.write(JSON.stringify(results));
} finally {
  await browser.close();
}
