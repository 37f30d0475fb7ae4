// Modern syntax and the calls configurations make while they load.
finicky.log("loading my config");
finicky.notify("Finicky", "config loaded");
const keys = finicky.getKeys();
const { name: computer } = finicky.getSystemInfo();
finicky.getUrlParts("https://example.com/");
finicky.onUrl(() => {});

const work = { name: "Google Chrome", profile: "Work" };
const personal = { ...work, profile: computer?.length ? "Personal" : undefined };
const hosts = ["gitlab.com", "bitbucket.org"];
const domain = "bücher.example";

async function notUsed() {
  return await Promise.resolve(keys.shift);
}

class Matcher {
  static glob = (host) => `https://${host}/*`;
}

export default {
  defaultBrowser: personal,
  handlers: [
    { match: hosts.map((host) => Matcher.glob(host)), browser: work },
    { match: [`*.${domain}`, ...hosts.flatMap((host) => [`${host}/explore*`])], browser: keys.option ? "Firefox" : "Chromium" },
    { match: finicky.matchDomains(domain), browser: work?.name ?? "Firefox" },
  ],
};
