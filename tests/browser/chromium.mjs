// The system's Chromium as every browser test starts it: headless, without
// the sandbox (the tests run as root) and without its own network traffic.
import { chromium } from 'playwright-core';

export function launchChromium() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--no-first-run', '--disable-sync'],
  });
}
