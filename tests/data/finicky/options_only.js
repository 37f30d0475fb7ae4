// Options only: nothing to route and no default browser.
module.exports = { options: { hideIcon: true } };
